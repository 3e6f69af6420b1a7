#pragma once
// File system work through handles: a folder is opened as itself (a link is opened, never
// followed), listed through its handle, and each child is opened relative to it, so that a
// name swapped for a link after it was checked cannot send a deletion elsewhere.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/files/file_identity.h"
#include "platform/handles.h"

struct FolderChild {
  std::wstring name;  // as the file system holds it
  DWORD attributes = 0;
  DWORD reparseTag = 0;  // of a reparse point; 0 where the system names none
  ULONGLONG fileId = 0;  // as listed; 0 where the file system keeps none
};

// Answered for a file the system refuses to delete because it is a mapped image (a running
// program or a loaded library: STATUS_CANNOT_DELETE, which Win32 reports as error 5): in
// use, not denied.
inline constexpr DWORD kMappedImageCode = ERROR_USER_MAPPED_FILE;

// Only name surrogates (symbolic links, mount points) are links: another reparse point (a
// cloud file placeholder, a deduplicated file) is a file or folder and is deleted as such.
// A reparse point whose tag the system does not give (Wine's host links) counts as a link.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);

// Opens the file or folder at path as itself (FILE_FLAG_OPEN_REPARSE_POINT,
// FILE_FLAG_BACKUP_SEMANTICS); an empty handle, with the error in `error`, when it cannot.
UniqueFile OpenAsItself(const std::wstring& path, DWORD access, DWORD& error);

// Opens the child `name` of the folder open as parent, as itself; folder: FILE_DIRECTORY_FILE
// or FILE_NON_DIRECTORY_FILE. Answers ERROR_SUCCESS or the system's error.
DWORD OpenChild(HANDLE parent, const std::wstring& name, DWORD access, bool folder, UniqueFile& child);

// Every entry of the folder open as folder (opened with FILE_LIST_DIRECTORY), "." and ".."
// left out. Answers ERROR_SUCCESS or the system's error.
DWORD ListFolder(HANDLE folder, std::vector<FolderChild>& children);

// The entry `name` as the folder open as folder lists it (its attributes and reparse tag as
// the folder holds them, never those of what a link points to). A handle answers one such
// question, at its first listing: ask through a handle of its own. Answers ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND or the system's error.
DWORD ListChild(HANDLE folder, const std::wstring& name, FolderChild& child);

// What a handle's own file system queries give of its file (basic, standard and internal
// information). GetFileInformationByHandle asks the volume too, for its serial number, which
// Wine answers through its mount manager at a hundred times the cost: a walk over thousands
// of files of one volume reads these instead.
struct HandleFacts {
  DWORD attributes = 0;
  FILETIME creation{}, lastAccess{}, lastWrite{};
  ULONGLONG size = 0;
  DWORD links = 0;
  ULONGLONG fileId = 0;
};
bool FactsOfHandle(HANDLE file, HandleFacts& facts);

// The file's attributes and reparse tag, read through its handle.
bool AttributesOf(HANDLE file, DWORD& attributes, DWORD& reparseTag);
// The same and the file's ID (0 where the file system keeps none), from the handle's own file
// system queries without asking the volume: a walk that stays on one volume (a mount point
// is a reparse point, never entered) takes the volume's serial number from its top.
// Answers ERROR_SUCCESS or the system's error.
DWORD AttributesAndIdOf(HANDLE file, DWORD& attributes, DWORD& reparseTag, ULONGLONG& fileId);
bool IdentityOf(HANDLE file, FileIdentity& identity);

// The path the system gives for the open file (GetFinalPathNameByHandleW, extended form):
// never an alias such as Sysnative, or system32 for what is really SysWOW64. Empty when the
// system gives none.
std::wstring FinalPathOf(HANDLE file);

// Deletes the child `name` of the folder open as parent: opened as itself, its attributes set
// to plain first when plainFirst, then marked for deletion through its own handle. Answers
// ERROR_SUCCESS, kMappedImageCode, ERROR_DELETE_PENDING for one deleted already and still
// open, or the system's error (ERROR_DIR_NOT_EMPTY for a folder that still holds something).
DWORD RemoveChildOf(HANDLE parent, const std::wstring& name, bool folder, bool plainFirst);

// The open a deletion makes: with write-attributes when it sets the attributes to plain first,
// and where the file's own access list refuses that right (its folder may still grant delete),
// again with DELETE alone. `open` answers ERROR_SUCCESS or the system's error for the rights it
// is given; `writeAttributes` tells whether the open that succeeded holds that right.
DWORD OpenForDeletion(const std::function<DWORD(DWORD access)>& open, bool plainFirst, bool& writeAttributes);

// How a deletion is marked: POSIX semantics first (the name goes at once even while another
// program, a scanner or the indexer, holds the file open with delete sharing; read-only is
// ignored), and where the file system or the system does not offer them (FAT, Windows before
// 10 1709, Wine) the old disposition. `set` marks through the system with one or the other and
// answers its NTSTATUS; `posix` tells which one answered.
LONG MarkForDeletion(const std::function<LONG(bool posix)>& set, bool& posix);

// Whether an answer to a POSIX deletion says the system itself lacks it (Windows before 10
// 1709 does not know the class, Wine does not implement it), not only the one file system:
// then no file of the run is asked with it again, and a file whose attributes stay is opened
// to be deleted at its close instead (an open and a close, where the open, the disposition
// and the close would be three calls). A read-only file and a mapped image are refused at that
// open as they are at the disposition.
bool SystemLacksPosixDeletion(LONG status);

// Renames the child `name` of the folder open as parent to `target` (a full path on the same
// volume, which must not exist), through the child's own handle.
DWORD RenameChildOf(HANDLE parent, const std::wstring& name, bool folder, const std::wstring& target);

// Opens the child folder `name` of the folder open as parent, as itself, sharing reading and
// writing but not deletion: while the handle lives, the folder can be neither renamed nor
// deleted. With create it is made (FILE_CREATE: anything already there, a link included,
// answers ERROR_ALREADY_EXISTS), with the security descriptor given or else what it inherits.
DWORD HoldChildFolder(HANDLE parent, const std::wstring& name, DWORD access, bool create, UniqueFile& child,
                      void* securityDescriptor = nullptr);

// As OpenChild, sharing only what `share` says: an open that someone else's open conflicts
// with fails with ERROR_SHARING_VIOLATION.
DWORD OpenChildShared(HANDLE parent, const std::wstring& name, DWORD access, DWORD share, bool folder,
                      UniqueFile& child);

// Makes the file `name` in the folder open as parent (FILE_CREATE: nothing already there is
// opened or replaced), opened with access, with the security descriptor given or else what it
// inherits.
DWORD CreateChildFile(HANDLE parent, const std::wstring& name, DWORD access, UniqueFile& child,
                      void* securityDescriptor = nullptr);

// Renames the child `name` of the folder open as parent to `targetName` in the folder open as
// targetFolder (same volume), through the child's own handle, never replacing anything: the
// target is resolved relative to the handle, so no link on a path can redirect it.
DWORD RenameChildInto(HANDLE parent, const std::wstring& name, bool folder, HANDLE targetFolder,
                      const std::wstring& targetName);

// Renames the file or folder open as `opened` (with DELETE) to `targetName` in the folder open
// as targetFolder (same volume), never replacing anything: what was read through the handle
// is what moves, wherever its name now lies.
DWORD RenameOpenInto(HANDLE opened, HANDLE targetFolder, const std::wstring& targetName);
