#include "engine/run/filter_lists.h"

namespace {

wchar_t Fold(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::wstring> MultiStringNames(const std::vector<unsigned char>& data) {
  std::vector<std::wstring> names;
  std::wstring name;
  for (std::size_t at = 0; at + 1 < data.size(); at += 2) {
    const auto unit = static_cast<wchar_t>(data[at] | (data[at + 1] << 8));
    if (unit != L'\0') {
      name += unit;
      continue;
    }
    if (name.empty()) return names;  // the list's end
    names.push_back(std::move(name));
    name.clear();
  }
  if (!name.empty()) names.push_back(std::move(name));
  return names;
}

std::vector<unsigned char> MultiStringData(const std::vector<std::wstring>& names) {
  std::vector<unsigned char> data;
  const auto put = [&data](wchar_t unit) {
    data.push_back(static_cast<unsigned char>(unit & 0xFF));
    data.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
  };
  for (const std::wstring& name : names) {
    for (const wchar_t unit : name) put(unit);
    put(L'\0');
  }
  put(L'\0');
  return data;
}

std::optional<std::vector<unsigned char>> WithoutFilter(const std::vector<unsigned char>& data, std::wstring_view service) {
  std::vector<std::wstring> names = MultiStringNames(data);
  std::vector<std::wstring> kept;
  for (std::wstring& name : names) {
    if (!SameName(name, service)) kept.push_back(std::move(name));
  }
  if (kept.size() == names.size()) return std::nullopt;
  return MultiStringData(kept);
}
