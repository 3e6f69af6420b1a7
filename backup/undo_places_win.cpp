#include <windows.h>

#include "backup/undo_steps.h"

#include "backup/backup_folders.h"
#include "backup/backup_reads.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/system_error.h"

namespace {

constexpr DWORD kLevelAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// What undo does to a copy: reads it, moves it and puts its facts back, all through one handle.
constexpr DWORD kCopyAccess = GENERIC_READ | READ_CONTROL | DELETE | FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER;

std::wstring UpperCased(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool IsLinkHandle(HANDLE file) {
  DWORD attributes = 0;
  DWORD tag = 0;
  return !AttributesOf(file, attributes, tag) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

// From the drive's root down, each level opened relative to the one above and held without
// delete sharing: while held, no level can be renamed, removed or swapped for a link, so the
// folder that was checked is the folder a move goes into. Nothing is remembered between
// items: each move checks its own way again.
DWORD UndoSteps::HoldFolderOf(const std::wstring& path, std::vector<UniqueFile>& held) {
  held.clear();
  const std::vector<std::wstring> levels = FolderLevels(ExtendedPath(path));
  if (levels.size() < 2) return ERROR_BAD_PATHNAME;
  DWORD error = ERROR_SUCCESS;
  held.push_back(OpenAsItself(levels.front(), kLevelAccess, error));  // a drive's root is no link
  if (!held.back()) return error;
  for (std::size_t index = 1; index + 1 < levels.size(); ++index) {
    const std::wstring name = LastNameOf(levels[index]);
    UniqueFile level;
    error = HoldChildFolder(held.back().Get(), name, kLevelAccess, false, level);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      // Made by name below levels that are held, so the name reaches the held folder.
      if (error = context_.effects.CreateFolder(levels[index]); error != ERROR_SUCCESS) return error;
      madeAbove_.insert(UpperCased(levels[index]));
      error = HoldChildFolder(held.back().Get(), name, kLevelAccess, false, level);
    }
    if (error != ERROR_SUCCESS) return error;
    // The name is judged too: a platform that opens a link as its target (Wine's host links)
    // shows the link only there. The levels above are held, so the name is the level held.
    if (IsLinkHandle(level.Get()) || IsLinkItself(levels[index])) return ERROR_CANT_ACCESS_FILE;
    held.push_back(std::move(level));
  }
  return ERROR_SUCCESS;
}

bool UndoSteps::TakeMadeAbove(const std::wstring& folder) { return madeAbove_.erase(UpperCased(ExtendedPath(folder))) > 0; }

std::string UndoSteps::OpenCopy(const JournalEntry& entry, UniqueFile& copy) {
  DWORD error = ERROR_SUCCESS;
  UniqueFile level = OpenAsItself(ExtendedPath(runFolder_), kLevelAccess, error);
  if (!level) return "the run's folder cannot be opened";
  std::size_t start = 0;
  for (;;) {
    const std::size_t cut = entry.copy.find(L'\\', start);
    const std::wstring name = entry.copy.substr(start, cut == std::wstring::npos ? std::wstring::npos : cut - start);
    if (!IsSafeChildName(name)) return "its copy's name leads out of its folder";
    if (cut == std::wstring::npos) {
      error = OpenChildShared(level.Get(), name, entry.kind == JournalKind::Link ? DELETE | FILE_READ_ATTRIBUTES : kCopyAccess,
                              FILE_SHARE_READ, false, copy);
      break;
    }
    UniqueFile next;
    if (OpenChild(level.Get(), name, kLevelAccess, true, next) != ERROR_SUCCESS) return {};  // missing: said by the caller
    if (IsLinkHandle(next.Get())) return "a link stands on the way to its copy";
    level = std::move(next);
    start = cut + 1;
  }
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  if (error != ERROR_SUCCESS) return "its copy cannot be opened: " + SystemErrorText(error);
  if (entry.kind == JournalKind::Link) return {};
  KeptFile kept;
  if (const DWORD read = ReadKeptHandle(copy.Get(), true, kept); read != ERROR_SUCCESS) {
    copy.Reset();
    return "its copy cannot be read: " + SystemErrorText(read);
  }
  std::string why;
  if ((kept.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    why = "its copy is a link";
  } else if (entry.fileId != 0 && kept.fileId != entry.fileId) {
    why = "its copy is not the file the run moved there";
  } else if (kept.links > 1 && entry.links <= 1) {
    // Another name was given to the copy since (a hard link to a file elsewhere): what undo
    // would do to it, it would do to that file too.
    why = "its copy has another name now";
  } else if (kept.size != entry.size || kept.sha256 != entry.sha256) {
    why = "its copy is not the one the run made";
  }
  if (!why.empty()) copy.Reset();
  return why;
}
