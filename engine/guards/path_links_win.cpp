#include <windows.h>

#include "engine/guards/path_links_win.h"

#include "engine/cleaner_context.h"
#include "platform/files/files_paths.h"
#include "platform/text/wide_text.h"

namespace {

constexpr DWORD kLevelAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE;

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

HeldLevels HoldLevels(const std::wstring& path) {
  HeldLevels held;
  const std::wstring extended = ExtendedPath(WithoutTrailingBackslashes(OrdinaryPath(path)));
  // "\\?\C:\" is the drive root; each "\" after it ends one folder on the way.
  constexpr std::size_t kRootLength = 7;
  if (extended.size() <= kRootLength || !IsDriveLetter(extended[4]) || extended[5] != L':' || extended[6] != L'\\') {
    held.error = ERROR_INVALID_NAME;
    return held;
  }
  held.levels.emplace_back(CreateFileW(extended.substr(0, kRootLength).c_str(), kLevelAccess,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!held.levels.back()) {
    held.error = GetLastError();
    held.levels.clear();
    return held;
  }
  std::size_t start = kRootLength;
  for (std::size_t end = extended.find(L'\\', start);; end = extended.find(L'\\', start)) {
    const std::wstring name = extended.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const HANDLE parent = held.levels.back().Get();
    FolderChild listed;
    const DWORD found = ListChild(parent, name, listed);
    if (end == std::wstring::npos) {
      held.lastName = name;
      held.listed = found == ERROR_SUCCESS;
      held.entry = listed;
      return held;
    }
    if (found != ERROR_SUCCESS) {
      held.error = found == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : found;
      return held;
    }
    // A link as its folder lists it (Wine's host links show so only there), or as it opens
    // without being followed.
    bool link = IsLinkEntry(listed.attributes, listed.reparseTag);
    UniqueFile level;
    DWORD opened = ERROR_SUCCESS;
    if (!link) {
      // Held without delete sharing, the level can be neither renamed nor deleted, so no link
      // can take its name while the deletion runs; where another open already holds it for
      // deletion, it is still opened relative to the level above.
      opened = HoldChildFolder(parent, name, kLevelAccess, false, level);
      if (opened == ERROR_SHARING_VIOLATION) opened = OpenChild(parent, name, kLevelAccess, true, level);
      DWORD attributes = 0, tag = 0;
      link = opened == ERROR_SUCCESS && AttributesOf(level.Get(), attributes, tag) && IsLinkEntry(attributes, tag);
    }
    if (link) {
      held.link = OrdinaryPath(extended.substr(0, end));
      return held;
    }
    if (opened != ERROR_SUCCESS) {
      held.error = opened;
      return held;
    }
    held.levels.push_back(std::move(level));
    start = end + 1;
  }
}

std::wstring LinkOnTheWay(const std::wstring& path) { return HoldLevels(path).link; }

bool RefuseLinkOnTheWay(CleanerContext& context, const HeldLevels& held, const std::string& shown) {
  if (held.link.empty()) return false;
  AddInfo(context, kRefusedLinkOnTheWayText + shown + " - " + AnsiFromWide(held.link) + " is a link");
  return true;
}
