#pragma once
// Security descriptors as SDDL text: read from and written to files, folders and keys (owner,
// group and access list), and the judgement whether a folder is one that nobody but the
// system's administrators can change.
#include <windows.h>

#include <string>

#include "platform/handles.h"

// The backup's folders: SYSTEM and Administrators with full control, nobody else, nothing
// inherited from the folder above, owned by Administrators.
inline constexpr wchar_t kPrivateFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The same for a file of the backup (its journal).
inline constexpr wchar_t kPrivateFileSecurity[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Owner, group, access list and integrity label of the file or folder itself (a link is not
// followed); empty when they cannot be read.
std::wstring FileSecurityText(const std::wstring& path);
// The same of a file or folder open with READ_CONTROL.
std::wstring HandleSecurityText(HANDLE file);
// Writes owner, group, access list and integrity label as the text gives them (owner, group
// and label only where it names them): ERROR_SUCCESS or the system's code.
[[nodiscard]] DWORD SetFileSecurityText(const std::wstring& path, const std::wstring& sddl);
std::wstring KeySecurityText(HKEY key);
// The parts a write of the text sets (OWNER_, GROUP_, DACL_, LABEL_SECURITY_INFORMATION); 0 for
// text that is no descriptor.
SECURITY_INFORMATION SecurityPartsOf(const std::wstring& sddl);
[[nodiscard]] LONG SetKeySecurityText(HKEY key, const std::wstring& sddl);
// The same through a handle open with WRITE_DAC (and WRITE_OWNER where the text names an
// owner or group). Only that file or folder changes: nothing is handed on to what is inside.
[[nodiscard]] DWORD SetHandleSecurityText(HANDLE file, const std::wstring& sddl);
// Makes the folder with the security descriptor the text gives.
[[nodiscard]] DWORD CreateFolderWithSecurity(const std::wstring& path, const std::wstring& sddl);
// Makes the folder `name` in the folder open as parent with that descriptor, held open as
// HoldChildFolder (platform/relative_files.h) holds it.
[[nodiscard]] DWORD CreateChildFolderWithSecurity(HANDLE parent, const std::wstring& name, const std::wstring& sddl,
                                                  DWORD access, UniqueFile& child);

// Makes the file `name` in the folder open as parent with that descriptor, as CreateChildFile
// (platform/files/relative_files.h) makes it.
[[nodiscard]] DWORD CreateChildFileWithSecurity(HANDLE parent, const std::wstring& name, const std::wstring& sddl,
                                                DWORD access, UniqueFile& child);

// The SID of the account this program runs as, in text form; empty when it cannot be read.
std::wstring ProcessUserSid();

// False where the system reports owners of files that it does not keep: Wine gives every
// file the account it runs as, whatever owner was set (its ntdll exports wine_get_version).
bool SystemKeepsOwners();

// Why a folder (or file) with this security descriptor may be changed by someone other than
// SYSTEM, Administrators or TrustedInstaller, or empty when it may not: an owner that is none
// of them, no access list, or an entry that lets anyone else reach it. `self` is the account
// the program runs as: it counts as one of the three only with selfTrusted (a folder the
// program made in this run, a system that keeps no owners, or the program's own folder),
// since on Windows any program of that account, elevated or not, may change what the account
// owns. With `strict` the folder holds what the program trusts: nobody else may add entries
// to it, write it, delete in it or re-own or re-permission it. Without, it is a level above
// such a folder: only what reaches the next level counts (deleting or renaming the level or
// its entries, changing its owner or access list); others may add entries, as they may to
// C:\ProgramData and C:\Windows\Temp, since that cannot touch an entry already there.
std::string UntrustedFolderReason(const std::wstring& sddl, const std::wstring& self, bool selfTrusted, bool strict);
