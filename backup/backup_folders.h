#pragma once
// The folders a backup lies in, made and checked so that nobody but the system's
// administrators can change what they hold: every level is a folder and no link, owned by
// SYSTEM, Administrators or TrustedInstaller; nobody else may add to the folder itself or reach
// it through a level above (deleting, renaming, re-owning or re-permissioning a level); each
// level the cleaner makes is private and owned by Administrators. The account the cleaner runs as
// passes only for a level this run made (where the system keeps no owner, as under Wine, it
// reads as that account) or on a system that keeps no owners at all.
#include <windows.h>

#include <string>
#include <vector>

// Where the owner and access list of a folder are read: the system, or in tests a form that
// answers as Windows would where Wine cannot (it keeps access lists but does not enforce them,
// and gives every file its user as owner).
class FolderSecurity {
 public:
  virtual ~FolderSecurity() = default;
  virtual std::wstring SecurityOf(const std::wstring& path);  // SDDL
  virtual std::wstring Self();                                 // the SID the program runs as
  virtual bool KeepsOwners();                                  // SystemKeepsOwners()
  // False on a volume that keeps no access lists (FAT): every account may change everything.
  virtual bool KeepsAccessLists(const std::wstring& path);
};

FolderSecurity& SystemFolderSecurity();

// The levels of a full drive path in extended form: "\\?\C:\", "\\?\C:\a", "\\?\C:\a\b".
// Empty for any other form.
std::vector<std::wstring> FolderLevels(const std::wstring& folder);

// Why the levels of folder that exist may not hold a backup, or empty; `missing` is the index
// (in FolderLevels) of the first level that does not exist, or their count. The folder
// itself is checked strictly (nobody else may even add a folder to it), the levels above by
// what reaches the next level. selfTrusted: the account the program runs as counts as an
// administrator (the program's own folder, which that account chose to run it from).
std::string ExistingLevelsProblem(FolderSecurity& security, const std::wstring& folder, std::size_t& missing,
                                  bool selfTrusted = false);

// Makes every missing level of folder private, checking each after it is made: ERROR_SUCCESS,
// the system's code, or ERROR_ACCESS_DENIED with `problem` set when a level is not one the
// backup may use.
[[nodiscard]] DWORD MakePrivateFolder(FolderSecurity& security, const std::wstring& folder, std::string& problem);

// True when the file or folder at path is a link (a junction, a symbolic link or any other
// reparse point), opened as itself.
bool IsLinkItself(const std::wstring& path);
