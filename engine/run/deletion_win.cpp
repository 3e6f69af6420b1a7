#include <windows.h>

#include "engine/run/deletion.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/folder_safety.h"
#include "engine/guards/path_links_win.h"
#include "engine/guards/product_evidence_win.h"
#include "engine/guards/windows_files_win.h"
#include "engine/run/restart_aside.h"
#include "platform/effects.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/files/system_mirror.h"
#include "platform/handles.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

constexpr DWORD kPlainAttributes = FILE_ATTRIBUTE_ARCHIVE;
// A removal refused by the walk itself, whose line is given already.
constexpr DWORD kRefusedWithLine = 0x20000000u | 0x11D;  // bit 29: an application's own code
// A folder whose last files are still delete-pending (open elsewhere with delete sharing)
// empties once their holders close them: its removal is tried again, within 250 ms.
constexpr int kFolderRemovalTries = 6;
constexpr DWORD kFolderRetryPause = 50;

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
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

// Set while the pass through the real System32 runs with the file system redirection off,
// where the real System32 goes by the System folder's own name.
thread_local bool nativePass = false;

bool ShownAsRealSystem32(CleanerContext& context, const std::wstring& path) {
  return nativePass || IsInRealSystemFolder(Mirror(context), path);
}

// A path as the information list and the trace log show it: ordinary form, ANSI, and
// marked when it lies in the real System32 of 64-bit Windows.
std::string Shown(CleanerContext& context, const std::wstring& path) {
  std::string shown = AnsiFromWide(OrdinaryPath(path));
  if (ShownAsRealSystem32(context, path)) {
    shown += kRealSystemFolderLabel;
  } else if (IsInNativeProgramFolder(Mirror(context), path)) {
    shown += kNativeProgramFolderLabel;
  }
  return shown;
}

// A change the backup refused has its line from the backup already.
bool ListedByTheBackup(DWORD error) { return error == kBackupRefusedCode; }

void ReportTreeEntry(CleanerContext& context, const std::wstring& path, DWORD error) {
  if (ListedByTheBackup(error)) return;
  AddInfo(context, kTreeFileNotDeletedText + Shown(context, path));
}

// A path the system gave for an opened file, as the lists show it.
std::string ShownFinal(CleanerContext& context, const std::wstring& final, const std::wstring& path) {
  std::string shown = AnsiFromWide(OrdinaryPath(final));
  if (ShownAsRealSystem32(context, path)) shown += kRealSystemFolderLabel;
  return shown;
}

// The path the system gives for the opened file or folder: never an alias (Sysnative, or
// system32 for what is really SysWOW64), which the session manager would read otherwise at
// the restart. A system without final paths has no aliases either.
std::wstring FinalOr(HANDLE opened, const std::wstring& path) {
  std::wstring final = opened != INVALID_HANDLE_VALUE ? FinalPathOf(opened) : std::wstring();
  return final.empty() ? path : final;
}

// Has the system delete what is in use at the next restart, named by its final path. A
// request the system refuses (no right to write the pending operations) leaves the thing
// behind, listed with the reason. byPathNote: said after the name of a file that could not be
// moved aside first.
Left ScheduleForRestart(CleanerContext& context, const std::wstring& final, const std::wstring& path,
                        const std::string& byPathNote = {}) {
  const std::string shown = ShownFinal(context, final, path);
  if (const std::string problem = ByPathProblem(context, final); !problem.empty()) {
    AddInfo(context, kRestartNotScheduledText + shown + " - " + kPathNotSafeText + problem);
    return Left::Listed;
  }
  const DWORD error = context.effects.DeleteAtRestart(final);
  if (error == ERROR_SUCCESS) {
    AddScheduledInfo(context, kDeletedAtRestartText + shown + byPathNote);
    return Left::ForRestart;
  }
  if (ListedByTheBackup(error)) return Left::Listed;
  AddInfo(context, kRestartNotScheduledText + shown + " - " + SystemErrorText(error));
  return Left::Listed;
}

// A file in use, the child `name` of the folder open as parent, left to the restart: moved
// into the cleaner's own pending folder and scheduled there, so that nothing done to its
// folder after the run can redirect the deletion; its folder no longer holds it. Where it
// cannot be moved (open elsewhere without delete sharing, another volume, no safe pending
// folder), it is scheduled by its final path, and the line says so.
Left ScheduleFileForRestart(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::wstring& path) {
  std::wstring final;
  {
    UniqueFile child;
    (void)OpenChild(parent, name, FILE_READ_ATTRIBUTES, false, child);  // only its final path is wanted
    final = FinalOr(child.Get(), path);
  }
  const MovedAside moved = MoveAsideForRestart(context, parent, name, path, final);
  if (ListedByTheBackup(moved.error)) return Left::Listed;
  if (moved.error != ERROR_SUCCESS) return ScheduleForRestart(context, final, path, kByPathText + moved.problem);
  const std::string shown = ShownFinal(context, final, path);
  const DWORD error = context.effects.DeleteAtRestart(moved.target);
  if (error == ERROR_SUCCESS) {
    AddScheduledInfo(context, kDeletedAtRestartText + shown);
  } else if (!ListedByTheBackup(error)) {
    AddInfo(context, kRestartNotScheduledText + shown + " - " + kMovedToText + AnsiFromWide(OrdinaryPath(moved.target)) +
                         ": " + SystemErrorText(error));
  }
  return Left::Nothing;
}

// The child `name` of the folder open as parent, left to the restart.
Left ScheduleChildForRestart(CleanerContext& context, HANDLE parent, const std::wstring& name,
                             const std::wstring& path, bool folder) {
  if (!folder) return ScheduleFileForRestart(context, parent, name, path);
  UniqueFile child;
  (void)OpenChild(parent, name, FILE_READ_ATTRIBUTES, true, child);  // only its final path is wanted
  return ScheduleForRestart(context, FinalOr(child.Get(), path), path);
}

// Counts a child's outcome into its folder's: the worse of the two.
void CountIn(Left& folder, Left child) {
  if (child > folder) folder = child;
}

// Whether the platform, asked not to follow links, opens the link itself: then removing
// the name removes the link. Wine opens a host symbolic link's target all the same, and
// removing the name there would remove or empty the target.
bool ReachesTheLinkItself(HANDLE parent, const std::wstring& name, bool folder) {
  UniqueFile child;
  DWORD attributes = 0;
  DWORD tag = 0;
  return OpenChild(parent, name, FILE_READ_ATTRIBUTES, folder, child) == ERROR_SUCCESS &&
         AttributesOf(child.Get(), attributes, tag) && IsLinkEntry(attributes, tag);
}

// A junction or symbolic link: the link goes, what it points to is never touched. A link
// that cannot be removed on its own stays (ERROR_CANT_ACCESS_FILE) and is listed.
DWORD RemoveLink(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::wstring& path,
                 DWORD attributes) {
  if (!ReachesTheLinkItself(parent, name, IsFolder(attributes))) return ERROR_CANT_ACCESS_FILE;
  return context.effects.RemoveChild(parent, name, path, IsFolder(attributes), false);
}

// A running program or a loaded library is in use too: the system deletes it at the restart.
bool IsInUseForRestart(DWORD error) { return IsInUse(error) || error == kMappedImageCode; }

// How a file's attributes may be dealt with before one of its names is deleted. Attributes
// belong to the file, not to the name: with other names (hard links) they are never reset, as
// that would change what the other names show. Hidden and system do not stop a deletion, so
// such a name goes as it is; a read-only one cannot go without clearing the flag, and stays.
enum class AttributeReset { Plain, Keep, RefusedSharedReadOnly };

AttributeReset ResetFor(HANDLE parent, const std::wstring& name, DWORD attributes) {
  if (attributes == kPlainAttributes) return AttributeReset::Keep;
  UniqueFile child;
  HandleFacts facts;
  if (OpenChild(parent, name, FILE_READ_ATTRIBUTES, false, child) != ERROR_SUCCESS || !FactsOfHandle(child.Get(), facts) ||
      facts.links <= 1) {
    return AttributeReset::Plain;  // one name only, or gone: the removal says which
  }
  return (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? AttributeReset::RefusedSharedReadOnly : AttributeReset::Keep;
}

// Removes the file `name` of parent with its attributes dealt with as ResetFor says; a
// refused one is listed and answers ERROR_ACCESS_DENIED with its line given.
DWORD RemoveFileName(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::wstring& path,
                     DWORD attributes) {
  const AttributeReset reset = ResetFor(parent, name, attributes);
  if (reset == AttributeReset::RefusedSharedReadOnly) {
    AddInfo(context, kSharedReadOnlyText + Shown(context, path));
    return kRefusedWithLine;
  }
  return context.effects.RemoveChild(parent, name, path, false, reset == AttributeReset::Plain);
}

// Its attributes are reset first unless they are plain already or shared with other names. A
// file in use is left to the restart when the run allows it.
Left RemoveTreeFile(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::wstring& path,
                    DWORD attributes) {
  const DWORD error = RemoveFileName(context, parent, name, path, attributes);
  if (error == kRefusedWithLine) return Left::Listed;
  if (error == ERROR_SUCCESS || IsMissing(error)) return Left::Nothing;
  if (context.state.DeleteAtRestart && IsInUseForRestart(error)) {
    return ScheduleChildForRestart(context, parent, name, path, false);
  }
  ReportTreeEntry(context, path, error);
  return Left::Listed;
}

// Removes an emptied folder, the child `name` of parent, read-only or not. A folder that
// stays is listed with the system's reason; one already gone is not a failure. One that
// stays not empty after every file in it was deleted holds files still open elsewhere,
// deleted once their holders close them: it is left to the restart when the run allows it,
// unless newArrival() names something that came into it since (it would stay at the restart).
template <typename ArrivalCheck>
Left RemoveEmptiedFolder(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::wstring& folder,
                         DWORD attributes, ArrivalCheck newArrival) {
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  DWORD error = context.effects.RemoveChild(parent, name, folder, true, readOnly);
  if (error == ERROR_ACCESS_DENIED && !readOnly) {
    // Windows denies removing a read-only folder (5). Where the listing did not show the
    // flag (it was set since), it is cleared now and the removal tried once more.
    error = context.effects.RemoveChild(parent, name, folder, true, true);
  }
  for (int tries = 1; error == ERROR_DIR_NOT_EMPTY && tries < kFolderRemovalTries; ++tries) {
    Sleep(kFolderRetryPause);
    error = context.effects.RemoveChild(parent, name, folder, true, false);
  }
  // ERROR_DIRECTORY: the name is a file's; no folder of that name was there to remove.
  if (error == ERROR_SUCCESS || IsMissing(error) || error == ERROR_DIRECTORY) return Left::Nothing;
  if (context.state.DeleteAtRestart && error == ERROR_DIR_NOT_EMPTY) {
    if (const std::wstring arrival = newArrival(); !arrival.empty()) {
      AddInfo(context, kRestartNotScheduledText + Shown(context, folder) + " - " + kNewEntryText + AnsiFromWide(arrival));
      return Left::Listed;
    }
    return ScheduleChildForRestart(context, parent, name, folder, true);
  }
  if (ListedByTheBackup(error)) return Left::Listed;
  AddInfo(context, kFolderNotDeletedText + Shown(context, folder) + " - " + SystemErrorText(error));
  return Left::Listed;
}

// A folder of the tree opened as itself for listing, or why it could not be.
constexpr DWORD kListingAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE;

// One folder of the tree on the way down: the length of its path (the walk shares one path
// for all levels), its name in its parent, its attributes and identity, its handle (each level
// keeps its folder open, so that every child is reached through it and not through a name that
// could have been swapped since), its entries read whole, how many were dealt with, and what
// stays in it so far.
struct FolderLevel {
  FolderLevel(std::size_t length, std::wstring folderName, DWORD folderAttributes, FileIdentity folderIdentity,
              UniqueFile folderHandle, std::vector<FolderChild> folderEntries)
      : pathLength(length),
        name(std::move(folderName)),
        attributes(folderAttributes),
        identity(folderIdentity),
        handle(std::move(folderHandle)),
        entries(std::move(folderEntries)) {}
  std::size_t pathLength;
  std::wstring name;
  DWORD attributes;
  FileIdentity identity;
  UniqueFile handle;
  std::vector<FolderChild> entries;
  std::size_t dealtWith = 0;
  Left left = Left::Nothing;
};

// Whether the folder, listed again, holds only what the walk saw in it: then everything left
// in it is left to the restart. A name that came since would keep the folder at the restart.
// It is listed through a handle of its own, opened relative to its parent and checked to be
// the same folder (a handle that listed once may answer from what it read then).
std::wstring NewArrival(HANDLE parent, const FolderLevel& level) {
  UniqueFile again;
  FileIdentity now;
  std::vector<FolderChild> entries;
  if (OpenChild(parent, level.name, kListingAccess, true, again) != ERROR_SUCCESS ||
      !IdentityOf(again.Get(), now) || !(level.identity == now) ||
      ListFolder(again.Get(), entries) != ERROR_SUCCESS) {
    return L"?";
  }
  for (const FolderChild& child : entries) {
    const bool seen = std::any_of(level.entries.begin(), level.entries.end(),
                                  [&](const FolderChild& entry) { return entry.name == child.name; });
    if (!seen) return child.name;
  }
  return {};
}

// A folder whose entries were all dealt with: removed when nothing stayed in it, left to the
// restart when only what the restart deletes stayed and nothing came since, else kept without
// a line of its own. Its own handle is closed first, which would keep it from going.
Left FinishFolder(CleanerContext& context, HANDLE parent, const std::wstring& folder, FolderLevel& level) {
  switch (level.left) {
    case Left::Nothing:
      level.handle.Reset();
      return RemoveEmptiedFolder(context, parent, level.name, folder, level.attributes,
                                 [&] { return NewArrival(parent, level); });
    case Left::ForRestart: {
      if (const std::wstring arrival = NewArrival(parent, level); !arrival.empty()) {
        AddInfo(context, kRestartNotScheduledText + Shown(context, folder) + " - " + kNewEntryText +
                             AnsiFromWide(arrival));
        return Left::Listed;
      }
      const Left left = ScheduleForRestart(context, FinalOr(level.handle.Get(), folder), folder);
      level.handle.Reset();
      return left;
    }
    case Left::Listed: break;
  }
  return Left::Listed;
}

// Opens the child folder `name` of parent as itself for the walk. What it opens is checked:
// a link met in its place is removed as a link, a protected folder (by identity) is refused.
// Answers the opened folder, or the outcome for the child when it is not descended into.
struct OpenedFolder {
  UniqueFile handle;
  FileIdentity identity;
  std::vector<FolderChild> entries;
  std::optional<Left> outcome;
};

// volume: the serial number of the top's volume, which every folder the walk enters shares
// (another volume is reached only through a mount point, a link the walk never enters).
OpenedFolder OpenTreeFolder(CleanerContext& context, HANDLE parent, const std::wstring& name,
                            const std::wstring& path, const FolderChild* listed, DWORD volume = 0) {
  OpenedFolder opened;
  DWORD error = OpenChild(parent, name, kListingAccess, true, opened.handle);
  // One read of what was opened serves every check below: the handle's own queries inside the
  // tree, the volume asked for only at the top (under Wine a round trip to its mount manager).
  BY_HANDLE_FILE_INFORMATION info{};
  DWORD attributes = 0;
  DWORD tag = 0;
  if (error == ERROR_SUCCESS && listed) {
    ULONGLONG fileId = 0;
    error = AttributesAndIdOf(opened.handle.Get(), attributes, tag, fileId);
    info.dwVolumeSerialNumber = volume;
    info.nFileIndexHigh = static_cast<DWORD>(fileId >> 32);
    info.nFileIndexLow = static_cast<DWORD>(fileId & 0xFFFFFFFF);
  } else if (error == ERROR_SUCCESS) {
    if (!GetFileInformationByHandle(opened.handle.Get(), &info)) error = GetLastError();
    attributes = info.dwFileAttributes;
    if (error == ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      (void)AttributesOf(opened.handle.Get(), attributes, tag);
    }
  }
  if (error == ERROR_SUCCESS && IsLinkEntry(attributes, tag)) {
    opened.handle.Reset();
    // Swapped for a link since it was listed: the link goes, never what it points to.
    const DWORD removed = context.effects.RemoveChild(parent, name, path, true, false);
    if (removed == ERROR_SUCCESS) {
      opened.outcome = Left::Nothing;
    } else {
      ReportTreeEntry(context, path, removed);
      opened.outcome = Left::Listed;
    }
    return opened;
  }
  const FileIdentity identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  opened.identity = identity;
  const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (error == ERROR_SUCCESS && listed && listed->fileId != 0 && listed->fileId != index) {
    // Another folder, or a link's target, took the listed folder's name since it was listed.
    AddInfo(context, kFolderNotDeletedText + Shown(context, path) + " - " + kReplacedText);
    opened.outcome = Left::Listed;
    return opened;
  }
  // The top is judged by the path the system gives for it too; a folder met inside the tree
  // by its identity, which every protected folder and every folder above one has given.
  if (error == ERROR_SUCCESS && (listed ? RefuseFolderIdentity(context, identity, path)
                                        : RefuseOpenedFolder(context, opened.handle.Get(), path))) {
    opened.outcome = Left::Listed;
    return opened;
  }
  if (error == ERROR_SUCCESS) error = ListFolder(opened.handle.Get(), opened.entries);
  if (IsMissing(error) || error == ERROR_DIRECTORY) {
    opened.outcome = Left::Nothing;  // gone since, or a file now: nothing of the tree there
  } else if (error != ERROR_SUCCESS) {
    if (!ListedByTheBackup(error)) {
      AddInfo(context, kFolderNotDeletedText + Shown(context, path) + " - " + SystemErrorText(error));
    }
    opened.outcome = Left::Listed;
  }
  return opened;
}

// Deletes the folder `topName` in the folder open as topParent (its full path top, extended
// form), everything in it first, depth first and children before their folder, with the
// folders on the way down on a list of their own: a hostile tree may nest folders far deeper
// than the stack could follow (a \\?\ path holds some 16,000 levels). Every folder is opened
// as itself and its children are reached through its handle; every child is built from the
// UTF-16 name the listing gave and must lie below the top. What stays is listed once: a
// folder that still holds a listed entry stays without a line of its own; one that holds only
// what the restart deletes is left to the restart too, after its contents.
Left DeleteTree(CleanerContext& context, HANDLE topParent, const std::wstring& topName, const std::wstring& top,
                DWORD topAttributes, DWORD topTag) {
  // A link named as the tree goes as a link: opening it may reach its target (Wine's links
  // to host folders open as their targets), whose contents are never the tree's.
  if (topAttributes != INVALID_FILE_ATTRIBUTES && IsLinkEntry(topAttributes, topTag)) {
    const DWORD error = RemoveLink(context, topParent, topName, top, topAttributes);
    if (error == ERROR_SUCCESS) return Left::Nothing;
    ReportTreeEntry(context, top, error);
    return Left::Listed;
  }
  OpenedFolder first = OpenTreeFolder(context, topParent, topName, top, nullptr);
  if (first.outcome) return *first.outcome;
  // A gateway that can take the checked tree at once does (the backup moves a tree whose every
  // entry is free with one rename); otherwise the walk below removes it item by item.
  if (std::vector<RemovedItem> removed;
      context.effects.RemoveTree(topParent, topName, top, first.handle.Get(), removed) == ERROR_SUCCESS) {
    return Left::Nothing;
  }
  std::wstring path = top;
  std::vector<FolderLevel> levels;
  levels.emplace_back(path.size(), topName, topAttributes, first.identity, std::move(first.handle),
                      std::move(first.entries));
  for (;;) {
    FolderLevel& level = levels.back();
    path.resize(level.pathLength);
    if (level.dealtWith == level.entries.size()) {
      const HANDLE parent = levels.size() > 1 ? levels[levels.size() - 2].handle.Get() : topParent;
      const Left left = FinishFolder(context, parent, path, level);
      levels.pop_back();
      if (levels.empty()) return left;
      CountIn(levels.back().left, left);
      continue;
    }
    const FolderChild& entry = level.entries[level.dealtWith++];
    const HANDLE folder = level.handle.Get();
    path.append(L"\\").append(entry.name);
    Left child = Left::Listed;
    if (!IsSafeChildName(entry.name) || !IsBelowFolder(path, top)) {
      AddInfo(context, kUnsafeNameText + Shown(context, path));
    } else if (IsLinkEntry(entry.attributes, entry.reparseTag)) {
      if (const DWORD error = RemoveLink(context, folder, entry.name, path, entry.attributes); error == ERROR_SUCCESS) {
        child = Left::Nothing;
      } else {
        ReportTreeEntry(context, path, error);
      }
    } else if (!IsFolder(entry.attributes)) {
      child = RemoveTreeFile(context, folder, entry.name, path, entry.attributes);
    } else {
      OpenedFolder opened = OpenTreeFolder(context, folder, entry.name, path, &entry, levels.front().identity.volume);
      if (!opened.outcome) {
        const std::wstring name = entry.name;
        const DWORD attributes = entry.attributes;
        levels.emplace_back(path.size(), name, attributes, opened.identity, std::move(opened.handle),
                            std::move(opened.entries));  // level and entry go stale here
        continue;
      }
      child = *opened.outcome;
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
  // Every folder on the way is held from here to the end of the deletion, which acts relative
  // to the last of them: a link made on the way meanwhile is never followed.
  const HeldLevels held = HoldLevels(top);
  if (RefuseLinkOnTheWay(context, held, Shown(context, top))) return;
  if (!held.Held()) {
    // No folder holds it: there is no tree to delete. Any other failure stays, with a line.
    if (!IsMissing(held.error)) {
      AddInfo(context, kFolderNotDeletedText + Shown(context, top) + " - " + SystemErrorText(held.error));
    }
    return;
  }
  if (!held.listed) return;
  // The top as its folder lists it, with its reparse tag: what it is, not what it opens.
  (void)DeleteTree(context, held.Parent(), held.lastName, top, held.entry.attributes, held.entry.reparseTag);
}

// The attributes and reparse tag of the child `name` of parent, read through its own handle.
bool ChildAttributes(HANDLE parent, const std::wstring& name, DWORD& attributes, DWORD& tag) {
  UniqueFile child;
  return OpenChild(parent, name, FILE_READ_ATTRIBUTES, false, child) == ERROR_SUCCESS &&
         AttributesOf(child.Get(), attributes, tag);
}

// shown: the entry as the lists name it. twin: the 64-bit twin of the entry's place, acted on
// only where it shows the product's evidence itself.
void DeleteFileAt(CleanerContext& context, const std::wstring& full, const std::string& shown, bool twin) {
  const std::wstring file = ExtendedPath(full);
  if (!IsExistingFileWide(file)) return;
  const HeldLevels held = HoldLevels(file);
  if (RefuseLinkOnTheWay(context, held, shown)) return;
  const std::wstring& name = held.lastName;
  DWORD error = held.error;
  DWORD attributes = 0;
  DWORD tag = 0;
  if (!held.Held() || !ChildAttributes(held.Parent(), name, attributes, tag)) {
    if (IsMissing(error)) return;
    AddInfo(context, kFileNotDeletedText + shown);
    return;
  }
  const HANDLE parent = held.Parent();
  if (RefuseWindowsOwnFile(context, parent, name, shown)) return;
  if (RefuseChildWithoutEvidence(context, parent, name, file, shown, twin)) return;
  if (IsLinkEntry(attributes, tag)) {
    error = RemoveLink(context, parent, name, file, attributes);  // its attributes would be set on the target
  } else {
    error = RemoveFileName(context, parent, name, file, attributes);
    if (IsMissing(error) || error == kRefusedWithLine) return;
    if (error != ERROR_SUCCESS && context.state.DeleteAtRestart && IsInUseForRestart(error)) {
      (void)ScheduleChildForRestart(context, parent, name, file, false);
      return;
    }
  }
  if (error != ERROR_SUCCESS && !ListedByTheBackup(error)) AddInfo(context, kFileNotDeletedText + shown);
}

// An entry in the System folder names, on 64-bit Windows, the real System32 as well: the
// program itself is redirected to SysWOW64, where a product's 64-bit parts never are. An
// entry in Program Files or Common Files names their 64-bit twins likewise.
std::wstring InRealSystem32(CleanerContext& context, const std::wstring& full) {
  std::wstring native = InRealSystemFolder(Mirror(context), full);
  if (!native.empty()) TraceIfOn(context, kRealSystemFolderText + AnsiFromWide(native));
  if (native.empty()) {
    native = InNativeProgramFolder(Mirror(context), full);
    if (!native.empty()) TraceIfOn(context, kNativeProgramFolderText + AnsiFromWide(native));
  }
  return native;
}

// The file system redirection of a 32-bit program on 64-bit Windows, off for this thread
// while the object lives. The pass through the real System32 opens each child relative to
// its folder's handle, and the redirection would send such an open on to SysWOW64; with it
// off, the real System32 goes by the System folder's own name, which this gives.
class NativeFileSystem {
 public:
  NativeFileSystem() {
    using DisableCall = BOOL(WINAPI*)(PVOID*);
    static const auto disable = reinterpret_cast<DisableCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64DisableWow64FsRedirection")));
    off_ = disable && disable(&old_);
    nativePass = true;
  }
  ~NativeFileSystem() {
    nativePass = false;
    using RevertCall = BOOL(WINAPI*)(PVOID);
    static const auto revert = reinterpret_cast<RevertCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64RevertWow64FsRedirection")));
    if (off_ && revert) (void)revert(old_);
  }
  NativeFileSystem(const NativeFileSystem&) = delete;
  NativeFileSystem& operator=(const NativeFileSystem&) = delete;

  // The path in the real System32 (as InRealSystemFolder names it) by the name it has now.
  std::wstring RealName(CleanerContext& context, const std::wstring& native) const {
    const SystemMirror& mirror = Mirror(context);
    if (!off_ || native.size() < mirror.nativeFolder.size()) return native;
    return mirror.systemFolder + native.substr(mirror.nativeFolder.size());
  }

 private:
  PVOID old_ = nullptr;
  bool off_ = false;
};

// Carries out a deletion in the 64-bit twin of an entry's place: in the real System32 with
// the redirection off (where it goes by the System folder's own name); a Program Files twin,
// which no redirection hides, as it is named.
template <typename Deletion>
void InTwin(CleanerContext& context, const std::wstring& native, Deletion deletion) {
  if (!IsInRealSystemFolder(Mirror(context), native)) return deletion(native);
  const NativeFileSystem nativeFiles;
  deletion(nativeFiles.RealName(context, native));
}

void DeleteFolderEntry(CleanerContext& context, const std::string& path) {
  if (path.empty()) return;
  const std::wstring full = FullEntryPath(context, path);
  if (full.empty() || RefuseFolder(context, path)) return;
  if (!RefuseWithoutEvidence(context, full, true, path) &&
      !RefuseFolderHoldingWindowsFiles(context, ExtendedPath(WithoutTrailingBackslashes(full)), path)) {
    DeleteFolderAt(context, full);
  }
  // The real System32, or the 64-bit twin of a Program Files folder, is a folder of its own:
  // every guard is asked again there, and it goes only where it shows the product's evidence.
  const std::wstring native = InRealSystem32(context, full);
  if (native.empty() || RefuseFolder(context, native)) return;
  const std::string shown = Shown(context, native);
  if (RefuseWithoutEvidence(context, native, true, shown, true)) return;
  if (!RefuseFolderHoldingWindowsFiles(context, ExtendedPath(WithoutTrailingBackslashes(native)), shown)) {
    InTwin(context, native, [&context](const std::wstring& twin) { DeleteFolderAt(context, twin); });
  }
}

void DeleteFileEntry(CleanerContext& context, const std::string& path) {
  if (path.empty()) return;
  const std::wstring full = FullEntryPath(context, path);
  if (full.empty()) return;
  DeleteFileAt(context, full, path, false);
  const std::wstring native = InRealSystem32(context, full);
  if (native.empty()) return;
  const std::string shown = Shown(context, native);
  InTwin(context, native, [&context, &shown](const std::wstring& twin) { DeleteFileAt(context, twin, shown, true); });
}

}  // namespace

// What an entry moved aside for the restart has its pending folders scheduled after it.
void DeleteFolderTree(CleanerContext& context, const std::string& path) {
  DeleteFolderEntry(context, path);
  SchedulePendingFolders(context);
}

void DeleteSingleFile(CleanerContext& context, const std::string& path) {
  DeleteFileEntry(context, path);
  SchedulePendingFolders(context);
}
