#include <windows.h>

#include "backup/backup_effects.h"

#include "backup/whole_tree.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

constexpr DWORD kTopAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE | READ_CONTROL | DELETE;

bool SameIdentity(HANDLE a, HANDLE b, FileIdentity& identity) {
  FileIdentity other;
  return IdentityOf(a, identity) && IdentityOf(b, other) && identity == other;
}

// The journal's entry of one item of a tree whose top lies at path and goes to topCopy.
JournalEntry EntryOf(TreeItem& item, const std::wstring& path, const std::wstring& topCopy) {
  JournalEntry entry;
  const std::wstring below = item.relative.empty() ? std::wstring() : L"\\" + item.relative;
  entry.path = path + below;
  entry.attributes = item.kept.facts.attributes;
  entry.security = std::move(item.kept.security);
  if (item.folder) {
    entry.kind = JournalKind::Folder;
    return entry;
  }
  entry.kind = JournalKind::File;
  entry.copy = topCopy + below;
  entry.times = item.kept.facts.times;
  entry.size = item.kept.size;
  entry.sha256 = std::move(item.kept.sha256);
  entry.fileId = item.kept.fileId;
  entry.links = item.kept.links;
  return entry;
}

}  // namespace

DWORD BackupEffects::RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                                std::vector<RemovedItem>& removed) {
  if (!On()) return inner_.RemoveTree(parent, name, path, opened, removed);
  const std::string why = MoveTreeIntoBackup(parent, name, path, opened, removed);
  if (why.empty()) return ERROR_SUCCESS;
  if (noted_) noted_(kTreeItemByItemText + AnsiFromWide(OrdinaryPath(path)) + " - " + why);
  return ERROR_NOT_SUPPORTED;
}

// Whatever the backup would refuse or cannot make at once is left to the walk, which lists
// it item by item. Until the rename nothing is changed; the journal lines written ahead of a
// rename that fails are cut away again.
std::string BackupEffects::MoveTreeIntoBackup(HANDLE parent, const std::wstring& name, const std::wstring& path,
                                              HANDLE opened, std::vector<RemovedItem>& removed) {
  if (InsideBackup(path, true)) return "it holds the backup or lies in it";
  if (Ready() != ERROR_SUCCESS || store_.Broken() || !backupIdentity_) return "the backup cannot take it";
  // The top stays open from its read to its rename, shared with no one who would rename or
  // delete it: the folder that was read is the folder that moves, and the rename goes through
  // this handle, never by name.
  UniqueFile top;
  FileIdentity identity;
  if (OpenChildShared(parent, name, kTopAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, true, top) != ERROR_SUCCESS ||
      !SameIdentity(top.Get(), opened, identity)) {
    return "it changed since it was checked";
  }
  if (identity.volume != backupIdentity_->volume) return "the backup lies on another volume";
  std::vector<TreeItem> items;
  if (std::string why = ReadFreeTree(top.Get(), {*backupIdentity_}, items); !why.empty()) return why;

  const BackupStore::Mark before = store_.Here();
  BackupStore::CopyPlace place;
  if (store_.PrepareCopy(store_.NextNumber(), path, place) != ERROR_SUCCESS) {
    store_.CutBack(before);
    return "its place in the backup cannot be made";
  }
  std::vector<JournalEntry> entries;
  entries.reserve(items.size());
  for (TreeItem& item : items) {
    entries.push_back(EntryOf(item, path, place.copyName));
    entries.back().number = store_.NextNumber();
  }
  if (const DWORD error = store_.Write(entries); error != ERROR_SUCCESS) {
    if (!journalFailureSaid_ && refused_) refused_(kJournalFailedText + SystemErrorText(error));
    journalFailureSaid_ = true;
    return "the journal cannot be written";
  }
  const std::wstring copy = store_.FullCopyPath(place.copyName);
  if (inner_.MoveOpen(top.Get(), path, place.folder, place.name, copy) != ERROR_SUCCESS) {
    store_.CutBack(before);
    return "it cannot be renamed into the backup";
  }
  // The moved top keeps nobody but the administrators out of it; what lies inside keeps its
  // own security, as undo puts it back.
  UniqueFile moved;
  if (HoldChildFolder(place.folder, place.name, WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, false, moved) !=
          ERROR_SUCCESS ||
      SetHandleSecurityText(moved.Get(), kPrivateFolderSecurity) != ERROR_SUCCESS) {
    if (noted_) noted_(kTreeNotClosedText + AnsiFromWide(OrdinaryPath(copy)));
  }
  for (const TreeItem& item : items) {
    if (item.folder) store_.AdoptFolder(item.kept.fileId);
  }
  removed.clear();
  removed.reserve(entries.size());
  KeepArrivals(top.Get(), place.folder, place.name, path, place.copyName, items, entries, removed);
  for (JournalEntry& entry : entries) {
    if (!entry.copy.empty()) store_.AdoptName(entry.copy);
    removed.push_back({std::move(entry.path), entry.kind == JournalKind::Folder});
  }
  return {};
}

// What came into the tree between its read and its rename went into the backup with it: each
// such item is journaled (after the fact, as undo needs it) and traced, and goes into
// `removed` ahead of the tree's own items; what was read and is gone is noted as not done, so
// that undo does not look for its copy.
void BackupEffects::KeepArrivals(HANDLE top, HANDLE copyFolder, const std::wstring& copyName, const std::wstring& path,
                                 const std::wstring& topCopy, const std::vector<TreeItem>& items,
                                 const std::vector<JournalEntry>& entries, std::vector<RemovedItem>& removed) {
  std::vector<TreeItem> arrived;
  std::vector<std::size_t> gone;
  // Listed through a handle of its own, opened where the rename put it and checked to be the
  // tree held: a handle listed before gives what it listed then (Wine keeps a handle's listing).
  UniqueFile moved;
  FileIdentity held;
  FileIdentity found;
  std::string why;
  if (OpenChild(copyFolder, copyName, kTopAccess & ~DELETE, true, moved) != ERROR_SUCCESS ||
      !IdentityOf(top, held) || !IdentityOf(moved.Get(), found) || !(held == found)) {
    why = "it is not where it was moved";
  } else {
    why = ReadArrivals(moved.Get(), items, arrived, gone);
  }
  if (!why.empty()) {
    if (noted_) noted_(kTreeNotComparedText + AnsiFromWide(OrdinaryPath(path)) + " - " + why);
    return;
  }
  for (const std::size_t index : gone) {
    NotDone(entries[index].number, ERROR_FILE_NOT_FOUND);
    if (noted_) noted_(kTreeItemGoneText + AnsiFromWide(OrdinaryPath(entries[index].path)));
  }
  for (TreeItem& item : arrived) {
    const bool link = !item.folder && (item.kept.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    JournalEntry entry = EntryOf(item, path, topCopy);
    if (link) entry.kind = JournalKind::Link;
    entry.number = store_.NextNumber();
    if (const DWORD error = store_.Write(entry); error != ERROR_SUCCESS) {
      if (!journalFailureSaid_ && refused_) refused_(kJournalFailedText + SystemErrorText(error));
      journalFailureSaid_ = true;
    }
    if (item.folder) store_.AdoptFolder(item.kept.fileId);
    if (!entry.copy.empty()) store_.AdoptName(entry.copy);
    if (noted_) noted_(kTreeItemArrivedText + AnsiFromWide(OrdinaryPath(entry.path)));
    removed.push_back({std::move(entry.path), item.folder});
  }
}
