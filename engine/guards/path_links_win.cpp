#include <windows.h>

#include "engine/guards/path_links_win.h"

#include "engine/cleaner_context.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

std::wstring LinkOnTheWay(const std::wstring& path) {
  const std::wstring extended = ExtendedPath(WithoutTrailingBackslashes(OrdinaryPath(path)));
  // "\\?\C:\" is the drive root; each "\" after it ends one folder on the way.
  constexpr std::size_t kRootLength = 7;
  if (extended.size() <= kRootLength) return {};
  for (std::size_t end = extended.find(L'\\', kRootLength); end != std::wstring::npos;
       end = extended.find(L'\\', end + 1)) {
    const std::wstring level = extended.substr(0, end);
    WIN32_FIND_DATAW found{};
    const UniqueFind listed(FindFirstFileW(level.c_str(), &found));
    if (!listed) return {};  // nothing below a missing folder exists either
    const DWORD tag = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkEntry(found.dwFileAttributes, tag)) {
      return OrdinaryPath(level);
    }
  }
  return {};
}

bool RefuseLinkOnTheWay(CleanerContext& context, const std::wstring& path, const std::string& shown) {
  const std::wstring link = LinkOnTheWay(path);
  if (link.empty()) return false;
  AddInfo(context, kRefusedLinkOnTheWayText + shown + " - " + AnsiFromWide(link) + " is a link");
  return true;
}
