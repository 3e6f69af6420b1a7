#include <windows.h>

#include "platform/wide_text.h"

namespace {

std::string NarrowFromWide(std::wstring_view text, UINT codePage, DWORD flags) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string AnsiFromWide(std::wstring_view text) { return NarrowFromWide(text, CP_ACP, WC_NO_BEST_FIT_CHARS); }

std::string Utf8FromWide(std::wstring_view text) { return NarrowFromWide(text, CP_UTF8, 0); }
