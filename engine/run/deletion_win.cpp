#include <windows.h>

#include "engine/run/deletion.h"

#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/folder_safety.h"
#include "platform/effects.h"
#include "platform/files.h"
#include "platform/files_paths.h"
#include "platform/handles.h"
#include "platform/system_error.h"
#include "platform/system_mirror.h"
#include "platform/wide_text.h"

namespace {

constexpr DWORD kPlainAttributes = FILE_ATTRIBUTE_ARCHIVE;
// A folder whose last files are still delete-pending (open elsewhere with delete sharing)
// empties once their holders close them: its removal is tried again, within 250 ms.
constexpr int kFolderRemovalTries = 6;
constexpr DWORD kFolderRetryPause = 50;

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
// Open elsewhere without delete sharing (32), or deleted already and still open (the
// gateway's ERROR_DELETE_PENDING): the system can delete it once nothing holds it.
bool IsInUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_DELETE_PENDING; }

// What a deletion left behind, from best to worst: nothing, only what the system deletes at
// the next restart, or something listed as not deleted.
enum class Left { Nothing, ForRestart, Listed };

const SystemMirror& Mirror(CleanerContext& context) {
  if (!context.systemMirror) context.systemMirror = CurrentSystemMirror();
  return *context.systemMirror;
}

// A path as the information list and the trace log show it: ordinary form, ANSI, and
// marked when it lies in the real System32 of 64-bit Windows.
std::string Shown(CleanerContext& context, const std::wstring& path) {
  std::string shown = AnsiFromWide(OrdinaryPath(path));
  if (IsInRealSystemFolder(Mirror(context), path)) shown += kRealSystemFolderLabel;
  return shown;
}

// A change the backup refused has its line from the backup already.
bool ListedByTheBackup(DWORD error) { return error == kBackupRefusedCode; }

void ReportTreeEntry(CleanerContext& context, const std::wstring& path, DWORD error) {
  if (ListedByTheBackup(error)) return;
  AddInfo(context, kTreeFileNotDeletedText + Shown(context, path));
}

// Has the system delete what is in use at the next restart. A request the system refuses
// (no right to write the pending operations) leaves the thing behind, listed with the reason.
Left ScheduleForRestart(CleanerContext& context, const std::wstring& path, const std::string& shown) {
  const DWORD error = context.effects.DeleteAtRestart(path);
  if (error == ERROR_SUCCESS) {
    AddScheduledInfo(context, kDeletedAtRestartText + shown);
    return Left::ForRestart;
  }
  if (ListedByTheBackup(error)) return Left::Listed;
  AddInfo(context, kRestartNotScheduledText + shown + " - " + SystemErrorText(error));
  return Left::Listed;
}

// Counts a child's outcome into its folder's: the worse of the two.
void CountIn(Left& folder, Left child) {
  if (child > folder) folder = child;
}

// Whether the platform, asked not to follow links, opens the link itself: then removing
// the name removes the link. Wine opens a host symbolic link's target all the same, and
// removing the name there would remove or empty the target.
bool ReachesTheLinkItself(const std::wstring& name) {
  const UniqueFile handle(CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return handle && GetFileInformationByHandle(handle.Get(), &info) && IsLink(info.dwFileAttributes);
}

// A junction or symbolic link: the link goes, what it points to is never touched. A link
// that cannot be removed on its own stays (ERROR_CANT_ACCESS_FILE) and is listed.
DWORD RemoveLink(CleanerContext& context, const std::wstring& name, DWORD attributes) {
  if (!ReachesTheLinkItself(name)) return ERROR_CANT_ACCESS_FILE;
  return IsFolder(attributes) ? context.effects.RemoveEmptyFolder(name) : context.effects.RemoveFile(name);
}

// Its attributes are reset first unless they are plain already; whether that worked shows in
// the deletion. A file in use is left to the restart when the run allows it.
Left RemoveTreeFile(CleanerContext& context, const std::wstring& path, DWORD attributes) {
  if (attributes != kPlainAttributes) (void)context.effects.SetAttributes(path, kPlainAttributes);
  const DWORD error = context.effects.RemoveFile(path);
  if (error == ERROR_SUCCESS || IsMissing(error)) return Left::Nothing;
  if (context.state.DeleteAtRestart && IsInUse(error)) return ScheduleForRestart(context, path, Shown(context, path));
  ReportTreeEntry(context, path, error);
  return Left::Listed;
}

// Removes an emptied folder, read-only or not. A folder that stays is listed with the
// system's reason; one already gone is not a failure. One that stays not empty after every
// file in it was deleted holds files still open elsewhere, deleted once their holders close
// them: it is left to the restart when the run allows it.
Left RemoveEmptiedFolder(CleanerContext& context, const std::wstring& folder, DWORD attributes) {
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) (void)context.effects.SetAttributes(folder, kPlainAttributes);  // a failure shows in the removal
  DWORD error = context.effects.RemoveEmptyFolder(folder);
  if (error == ERROR_ACCESS_DENIED && !readOnly) {
    // Windows denies removing a read-only folder (5). Where the listing did not show the
    // flag (the top's attributes could not be read, or it was set since), it is cleared
    // now and the removal tried once more.
    (void)context.effects.SetAttributes(folder, kPlainAttributes);
    error = context.effects.RemoveEmptyFolder(folder);
  }
  for (int tries = 1; error == ERROR_DIR_NOT_EMPTY && tries < kFolderRemovalTries; ++tries) {
    Sleep(kFolderRetryPause);
    error = context.effects.RemoveEmptyFolder(folder);
  }
  // ERROR_DIRECTORY: the name is a file's; no folder of that name was there to remove.
  if (error == ERROR_SUCCESS || IsMissing(error) || error == ERROR_DIRECTORY) return Left::Nothing;
  if (context.state.DeleteAtRestart && error == ERROR_DIR_NOT_EMPTY) {
    return ScheduleForRestart(context, folder, Shown(context, folder));
  }
  if (ListedByTheBackup(error)) return Left::Listed;
  AddInfo(context, kFolderNotDeletedText + Shown(context, folder) + " - " + SystemErrorText(error));
  return Left::Listed;
}

// What a folder holds, read whole before anything in it is deleted: no enumeration stays open
// while the walk goes deeper, so the handles it holds do not grow with the depth.
std::vector<DirectoryEntry> EntriesOf(const std::wstring& folder) {
  std::vector<DirectoryEntry> entries;
  FolderEnumeration enumeration(folder);
  DirectoryEntry entry;
  while (enumeration.Next(entry)) {
    if (entry.name != L"." && entry.name != L"..") entries.push_back(entry);
  }
  return entries;
}

// One folder of the tree on the way down: the length of its path (the walk shares one path
// for all levels), its attributes, its entries and how many of them were dealt with, and
// what stays in it so far.
struct FolderLevel {
  FolderLevel(std::size_t length, DWORD folderAttributes, std::vector<DirectoryEntry> folderEntries)
      : pathLength(length), attributes(folderAttributes), entries(std::move(folderEntries)) {}
  std::size_t pathLength;
  DWORD attributes;
  std::vector<DirectoryEntry> entries;
  std::size_t dealtWith = 0;
  Left left = Left::Nothing;
};

// A folder whose entries were all dealt with: removed when nothing stayed in it, left to the
// restart when only what the restart deletes stayed, else kept without a line of its own.
Left FinishFolder(CleanerContext& context, const std::wstring& folder, const FolderLevel& level) {
  switch (level.left) {
    case Left::Nothing: return RemoveEmptiedFolder(context, folder, level.attributes);
    case Left::ForRestart: return ScheduleForRestart(context, folder, Shown(context, folder));
    case Left::Listed: break;
  }
  return Left::Listed;
}

// Deletes what lies in top, then top itself (extended form), depth first and children before
// their folder, with the folders on the way down on a list of their own: a hostile tree may
// nest folders far deeper than the stack could follow (a \\?\ path holds some 16,000 levels).
// Every child is built from the UTF-16 name the enumeration gave and must lie below the top.
// What stays is listed once: a folder that still holds a listed entry stays without a line of
// its own; one that holds only what the restart deletes is left to the restart too, after its
// contents.
Left DeleteTree(CleanerContext& context, const std::wstring& top, DWORD topAttributes) {
  std::wstring path = top;
  std::vector<FolderLevel> levels;
  levels.emplace_back(path.size(), topAttributes, EntriesOf(path));
  for (;;) {
    FolderLevel& level = levels.back();
    path.resize(level.pathLength);
    if (level.dealtWith == level.entries.size()) {
      const Left left = FinishFolder(context, path, level);
      levels.pop_back();
      if (levels.empty()) return left;
      CountIn(levels.back().left, left);
      continue;
    }
    const DirectoryEntry& entry = level.entries[level.dealtWith++];
    path.append(L"\\").append(entry.name);
    Left child = Left::Listed;
    if (!IsSafeChildName(entry.name) || !IsBelowFolder(path, top)) {
      AddInfo(context, kUnsafeNameText + Shown(context, path));
    } else if (IsLink(entry.attributes)) {
      if (const DWORD error = RemoveLink(context, path, entry.attributes); error == ERROR_SUCCESS) {
        child = Left::Nothing;
      } else {
        ReportTreeEntry(context, path, error);
      }
    } else if (!IsFolder(entry.attributes)) {
      child = RemoveTreeFile(context, path, entry.attributes);
    } else if (!RefuseFolderByIdentity(context, path)) {
      const DWORD attributes = entry.attributes;
      levels.emplace_back(path.size(), attributes, EntriesOf(path));  // level and entry go stale here
      continue;
    }
    CountIn(level.left, child);
  }
}

// The UTF-16 form of a rule entry, or empty after a line when it is not a plain drive path:
// a relative one would be taken from the current folder, wherever that is, and the other
// forms (NT, device, share, doubled or dotted names) would slip past the guards' reading.
std::wstring FullEntryPath(CleanerContext& context, const std::string& path) {
  const std::wstring wide = WideFromAnsi(path);
  if (const std::string problem = PlainPathProblem(wide); !problem.empty()) {
    AddInfo(context, kNotPlainPathText + path + " - " + problem);
    return {};
  }
  const std::wstring full = FullPathWide(wide);
  return full.empty() ? wide : full;
}

void DeleteFolderAt(CleanerContext& context, const std::wstring& full) {
  // Everything below is reached in extended form, so that no length limit cuts a path and
  // names ending in a dot or a blank are taken as they are.
  const std::wstring top = ExtendedPath(WithoutTrailingBackslashes(full));
  const DWORD attributes = GetFileAttributesW(top.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsFolder(attributes) && IsLink(attributes)) {
    if (const DWORD error = RemoveLink(context, top, attributes); error != ERROR_SUCCESS) {
      ReportTreeEntry(context, top, error);
    }
    return;
  }
  (void)DeleteTree(context, top, attributes);
}

// shown: the entry as the lists name it.
void DeleteFileAt(CleanerContext& context, const std::wstring& full, const std::string& shown) {
  const std::wstring file = ExtendedPath(full);
  if (!IsExistingFileWide(file)) return;
  const DWORD attributes = GetFileAttributesW(file.c_str());
  DWORD error = ERROR_SUCCESS;
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes)) {
    error = RemoveLink(context, file, attributes);  // its attributes would be set on the target
  } else {
    (void)context.effects.SetAttributes(file, kPlainAttributes);  // a failure shows in the deletion
    error = context.effects.RemoveFile(file);
    if (IsMissing(error)) return;
    if (error != ERROR_SUCCESS && context.state.DeleteAtRestart && IsInUse(error)) {
      (void)ScheduleForRestart(context, file, shown);
      return;
    }
  }
  if (error != ERROR_SUCCESS && !ListedByTheBackup(error)) AddInfo(context, kFileNotDeletedText + shown);
}

// An entry in the System folder names, on 64-bit Windows, the real System32 as well: the
// program itself is redirected to SysWOW64, where a product's 64-bit parts never are.
std::wstring InRealSystem32(CleanerContext& context, const std::wstring& full) {
  std::wstring native = InRealSystemFolder(Mirror(context), full);
  if (!native.empty()) TraceIfOn(context, kRealSystemFolderText + AnsiFromWide(native));
  return native;
}

}  // namespace

void DeleteFolderTree(CleanerContext& context, const std::string& path) {
  if (path.empty()) return;
  const std::wstring full = FullEntryPath(context, path);
  if (full.empty() || RefuseFolder(context, path)) return;
  DeleteFolderAt(context, full);
  const std::wstring native = InRealSystem32(context, full);
  if (!native.empty()) DeleteFolderAt(context, native);
}

void DeleteSingleFile(CleanerContext& context, const std::string& path) {
  if (path.empty()) return;
  const std::wstring full = FullEntryPath(context, path);
  if (full.empty()) return;
  DeleteFileAt(context, full, path);
  const std::wstring native = InRealSystem32(context, full);
  if (!native.empty()) DeleteFileAt(context, native, Shown(context, native));
}
