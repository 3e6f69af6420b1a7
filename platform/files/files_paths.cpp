#include "platform/files/files_paths.h"

namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedSharePrefix = L"\\\\?\\UNC\\";

wchar_t UpperAsciiUnit(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

bool IsDriveLetter(wchar_t c) { return UpperAsciiUnit(c) >= L'A' && UpperAsciiUnit(c) <= L'Z'; }

bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    if (UpperAsciiUnit(text[i]) != UpperAsciiUnit(start[i])) return false;
  }
  return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveAbsolute(std::wstring_view path) {
  return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

// "server\share" with both names present and the server not a device marker.
bool IsShareBody(std::wstring_view body) {
  const std::size_t split = body.find_first_of(L"\\/");
  if (split == 0 || split == std::wstring_view::npos || split + 1 >= body.size()) return false;
  const std::wstring_view server = body.substr(0, split);
  return server != L"?" && server != L"." && !IsSeparator(body[split + 1]);
}

}  // namespace

bool IsFullPath(std::wstring_view path) {
  if (StartsWithIgnoringAsciiCase(path, kExtendedSharePrefix)) return IsShareBody(path.substr(kExtendedSharePrefix.size()));
  if (path.starts_with(kExtendedPrefix)) return IsDriveAbsolute(path.substr(kExtendedPrefix.size()));
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return IsShareBody(path.substr(2));
  return IsDriveAbsolute(path);
}

std::wstring ExtendedPath(std::wstring_view fullPath) {
  if (fullPath.starts_with(kExtendedPrefix)) return std::wstring(fullPath);
  if (fullPath.starts_with(L"\\\\")) return std::wstring(kExtendedSharePrefix) + std::wstring(fullPath.substr(2));
  return std::wstring(kExtendedPrefix) + std::wstring(fullPath);
}

std::wstring OrdinaryPath(std::wstring_view path) {
  if (StartsWithIgnoringAsciiCase(path, kExtendedSharePrefix)) {
    return L"\\\\" + std::wstring(path.substr(kExtendedSharePrefix.size()));
  }
  if (path.starts_with(kExtendedPrefix)) return std::wstring(path.substr(kExtendedPrefix.size()));
  return std::wstring(path);
}

std::wstring WithoutTrailingBackslashes(std::wstring path) {
  while (path.size() > 1 && path.back() == L'\\') {
    if (path.size() == 3 && path[1] == L':') break;
    path.pop_back();
  }
  return path;
}

bool IsSafeChildName(std::wstring_view name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

bool IsBelowFolder(std::wstring_view path, std::wstring_view top) {
  if (top.empty() || path.size() <= top.size() + 1 || !StartsWithIgnoringAsciiCase(path, top) ||
      path[top.size()] != L'\\') {
    return false;
  }
  std::wstring_view rest = path.substr(top.size() + 1);
  for (;;) {
    const std::size_t split = rest.find(L'\\');
    if (!IsSafeChildName(rest.substr(0, split))) return false;
    if (split == std::wstring_view::npos) return true;
    rest.remove_prefix(split + 1);
  }
}
