#include <windows.h>

#include "backup/whole_tree.h"

#include <algorithm>
#include <map>

#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE | READ_CONTROL | DELETE;
// Asking for deletion finds a file open elsewhere without sharing it; not sharing writing finds
// one open for writing, whose bytes could still change after they are hashed.
constexpr DWORD kFileAccess = GENERIC_READ | READ_CONTROL | DELETE;
constexpr DWORD kFileShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// One folder on the way down: its handle (the caller's for the top, its own below), its place
// below the top, its entries and how many were read, and its own facts, which follow its
// children.
struct Level {
  UniqueFile owned;
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::wstring relative;
  std::vector<FolderChild> entries;
  std::size_t next = 0;
  KeptFile kept;
};

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() ? name : folder + L"\\" + name;
}

std::string Named(const std::wstring& relative, const std::string& why) {
  return AnsiFromWide(relative) + ": " + why;
}

// The folder's facts and entries; why it is not free, or empty. Without a link on the way,
// every folder of the tree lies on the top's volume: its file ID alone tells it from the
// folders to avoid.
std::string ReadFolder(Level& level, const std::vector<ULONGLONG>& avoid) {
  if (const DWORD error = ReadKeptHandle(level.handle, false, level.kept); error != ERROR_SUCCESS) {
    return Named(level.relative, SystemErrorText(error));
  }
  if ((level.kept.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Named(level.relative, "a link");
  if (std::find(avoid.begin(), avoid.end(), level.kept.fileId) != avoid.end()) {
    return Named(level.relative, "the backup's own folder");
  }
  if (const DWORD error = ListFolder(level.handle, level.entries); error != ERROR_SUCCESS) {
    return Named(level.relative, SystemErrorText(error));
  }
  return {};
}

// A file of the tree, read through a handle of its own that shows it free.
std::string ReadKept(HANDLE folder, const FolderChild& entry, const std::wstring& relative, TreeItem& item) {
  UniqueFile file;
  if (const DWORD error = OpenChildShared(folder, entry.name, kFileAccess, kFileShare, false, file);
      error != ERROR_SUCCESS) {
    return Named(relative, SystemErrorText(error));
  }
  if (const DWORD error = ReadKeptHandle(file.Get(), true, item.kept); error != ERROR_SUCCESS) {
    return Named(relative, SystemErrorText(error));
  }
  if ((item.kept.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Named(relative, "a link");
  if (item.kept.links > 1) return Named(relative, "a file with more than one name");
  if (entry.fileId != 0 && entry.fileId != item.kept.fileId) return Named(relative, "not the file listed");
  item.relative = relative;
  return {};
}

}  // namespace

std::string ReadFreeTree(HANDLE top, const std::vector<FileIdentity>& avoid, std::vector<TreeItem>& items,
                         std::size_t limit) {
  items.clear();
  FileIdentity topIdentity;
  if (!IdentityOf(top, topIdentity)) return SystemErrorText(GetLastError());
  std::vector<ULONGLONG> avoided;
  for (const FileIdentity& identity : avoid) {
    if (identity.volume == topIdentity.volume) avoided.push_back((ULONGLONG{identity.indexHigh} << 32) | identity.indexLow);
  }
  std::vector<Level> levels;
  Level first;
  first.handle = top;
  std::string why = ReadFolder(first, avoided);
  if (!why.empty()) return why;
  levels.push_back(std::move(first));
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.entries.size()) {
      items.push_back({level.relative, true, std::move(level.kept)});
      levels.pop_back();
      continue;
    }
    if (items.size() + levels.size() > limit) {
      why = "more than " + std::to_string(limit) + " entries";
      break;
    }
    const FolderChild& entry = level.entries[level.next++];
    const std::wstring relative = Joined(level.relative, entry.name);
    if (!IsSafeChildName(entry.name)) {
      why = Named(relative, "a name that leads out of its folder");
      break;
    }
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      why = Named(relative, "a link");
      break;
    }
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      TreeItem item;
      why = ReadKept(level.handle, entry, relative, item);
      if (!why.empty()) break;
      items.push_back(std::move(item));
      continue;
    }
    Level sub;
    sub.relative = relative;
    if (const DWORD error = OpenChild(level.handle, entry.name, kFolderAccess, true, sub.owned);
        error != ERROR_SUCCESS) {
      why = Named(relative, SystemErrorText(error));
      break;
    }
    sub.handle = sub.owned.Get();
    why = ReadFolder(sub, avoided);
    if (why.empty() && entry.fileId != 0 && sub.kept.fileId != entry.fileId) why = Named(relative, "not the folder listed");
    if (!why.empty()) break;
    levels.push_back(std::move(sub));
  }
  if (!why.empty()) items.clear();
  return why;
}

namespace {

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// An item that came in after the read: read through a handle of its own, whatever it shares,
// since it lies in the backup already.
std::string ReadArrived(HANDLE folder, const FolderChild& entry, const std::wstring& relative, TreeItem& item) {
  UniqueFile file;
  const bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (const DWORD error = OpenChild(folder, entry.name, READ_CONTROL | (link ? FILE_READ_ATTRIBUTES : GENERIC_READ),
                                    false, file);
      error != ERROR_SUCCESS) {
    return Named(relative, SystemErrorText(error));
  }
  if (const DWORD error = ReadKeptHandle(file.Get(), !link, item.kept); error != ERROR_SUCCESS) {
    return Named(relative, SystemErrorText(error));
  }
  item.relative = relative;
  return {};
}

}  // namespace

std::string ReadArrivals(HANDLE top, const std::vector<TreeItem>& read, std::vector<TreeItem>& arrived,
                         std::vector<std::size_t>& gone) {
  arrived.clear();
  gone.clear();
  std::map<std::wstring, std::size_t> known;  // by the upper-cased relative name
  for (std::size_t index = 0; index < read.size(); ++index) known.emplace(Upper(read[index].relative), index);
  std::vector<bool> seen(read.size(), false);
  if (const auto topItem = known.find(L""); topItem != known.end()) seen[topItem->second] = true;
  // Each level: its handle, its place below the top, its entries, and whether it arrived
  // (then everything below it did too, and it follows its children).
  struct Walked {
    UniqueFile owned;
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring relative;
    std::vector<FolderChild> entries;
    std::size_t next = 0;
    bool arrived = false;
  };
  std::vector<Walked> levels;
  levels.push_back({UniqueFile(), top, L"", {}, 0, false});
  if (const DWORD error = ListFolder(top, levels.back().entries); error != ERROR_SUCCESS) return SystemErrorText(error);
  while (!levels.empty()) {
    Walked& level = levels.back();
    if (level.next == level.entries.size()) {
      if (level.arrived) {
        TreeItem item;
        item.relative = level.relative;
        item.folder = true;
        if (const DWORD error = ReadKeptHandle(level.handle, false, item.kept); error != ERROR_SUCCESS) {
          return Named(level.relative, SystemErrorText(error));
        }
        arrived.push_back(std::move(item));
      }
      levels.pop_back();
      continue;
    }
    const FolderChild& entry = level.entries[level.next++];
    const std::wstring relative = Joined(level.relative, entry.name);
    if (!IsSafeChildName(entry.name)) return Named(relative, "a name that leads out of its folder");
    const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    bool isNew = level.arrived;
    if (!isNew) {
      const auto found = known.find(Upper(relative));
      isNew = found == known.end() || read[found->second].folder != folder ||
              (entry.fileId != 0 && read[found->second].kept.fileId != 0 && entry.fileId != read[found->second].kept.fileId);
      if (!isNew) seen[found->second] = true;
    }
    if (!folder) {
      if (!isNew) continue;
      TreeItem item;
      if (std::string why = ReadArrived(level.handle, entry, relative, item); !why.empty()) return why;
      arrived.push_back(std::move(item));
      continue;
    }
    Walked sub;
    sub.relative = relative;
    sub.arrived = isNew;
    if (const DWORD error = OpenChild(level.handle, entry.name, kFolderAccess & ~DELETE, true, sub.owned);
        error != ERROR_SUCCESS) {
      return Named(relative, SystemErrorText(error));
    }
    sub.handle = sub.owned.Get();
    if (const DWORD error = ListFolder(sub.handle, sub.entries); error != ERROR_SUCCESS) {
      return Named(relative, SystemErrorText(error));
    }
    levels.push_back(std::move(sub));
  }
  for (std::size_t index = 0; index < read.size(); ++index) {
    if (!seen[index]) gone.push_back(index);
  }
  return {};
}
