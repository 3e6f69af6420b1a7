#include "engine/guards/windows_files.h"

namespace {

constexpr std::wstring_view kSystemDataFiles[] = {
    L"hosts",     L"lmhosts",   L"lmhosts.sam", L"networks",    L"protocol",    L"services",  L"win.ini",
    L"system.ini", L"boot.ini", L"control.ini", L"progman.ini", L"winfile.ini", L"config.nt", L"autoexec.nt",
    L"msdos.sys", L"desktop.ini",
};

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

}  // namespace

std::span<const std::wstring_view> SystemDataFileNames() { return kSystemDataFiles; }

bool IsSystemDataFileName(std::wstring_view name) {
  for (const std::wstring_view known : kSystemDataFiles) {
    if (known.size() != name.size()) continue;
    std::size_t same = 0;
    while (same < name.size() && UpperAscii(name[same]) == UpperAscii(known[same])) ++same;
    if (same == name.size()) return true;
  }
  return false;
}

bool NamesMicrosoft(std::wstring_view company) {
  constexpr std::wstring_view kMicrosoft = L"MICROSOFT";
  for (std::size_t start = 0; start + kMicrosoft.size() <= company.size(); ++start) {
    std::size_t matched = 0;
    while (matched < kMicrosoft.size() && UpperAscii(company[start + matched]) == kMicrosoft[matched]) ++matched;
    if (matched == kMicrosoft.size()) return true;
  }
  return false;
}
