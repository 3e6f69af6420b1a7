#include <windows.h>

#include "platform/text/wide_text.h"

#include <algorithm>
#include <limits>

namespace {
// The conversion calls take int lengths; a text longer than that is cut at the limit.
int CallLength(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, static_cast<std::size_t>(std::numeric_limits<int>::max())));
}
}  // namespace

std::wstring WideFromAnsi(std::string_view text, unsigned codePage) {
  if (text.empty()) return {};
  const int length = CallLength(text.size());
  const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  const int written = MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
  wide.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return wide;
}

// Without best fit: a character the code page cannot hold becomes "?" instead of a look-alike,
// so that fullwidth "\uFF0E\uFF0E\uFF3C" never reads as "..\". Code pages such as UTF-8
// refuse the flag; they hold every character anyway.
std::string AnsiFromWide(std::wstring_view text, unsigned codePage) {
  if (text.empty()) return {};
  const int length = CallLength(text.size());
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  const int written = WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), size, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return narrow;
}

std::optional<std::string> ExactAnsiFromWide(std::wstring_view text) {
  std::string ansi = AnsiFromWide(text);
  if (WideFromAnsi(ansi) != text) return std::nullopt;
  return ansi;
}

std::string AnsiFromUtf8(std::string_view text) { return AnsiFromWide(WideFromUtf8(text)); }
