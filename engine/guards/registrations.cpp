#include "engine/guards/registrations.h"

#include <array>
#include <vector>

namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

std::wstring UpperText(std::wstring_view text) {
  std::wstring out;
  for (const wchar_t c : text) out += Upper(c);
  return out;
}

// The key's names, upper-cased, without empty names and WOW6432Node; SOFTWARE\Classes read as
// the classes root, a numbered control set as CurrentControlSet.
std::vector<std::wstring> Names(RegistryRoot root, std::string_view keyPath, bool& classes) {
  std::vector<std::wstring> names;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    std::wstring name;
    for (std::size_t i = start; i < end; ++i) name += Upper(static_cast<wchar_t>(static_cast<unsigned char>(keyPath[i])));
    if (!name.empty() && name != L"WOW6432NODE") names.push_back(name);
    start = end + 1;
  }
  classes = root == RegistryRoot::ClassesRoot;
  if (!classes && names.size() >= 2 && names[0] == L"SOFTWARE" && names[1] == L"CLASSES") {
    classes = true;
    names.erase(names.begin(), names.begin() + 2);
  }
  if (root == RegistryRoot::LocalMachine && names.size() >= 2 && names[0] == L"SYSTEM" &&
      names[1].starts_with(L"CONTROLSET")) {
    names[1] = L"CURRENTCONTROLSET";
  }
  return names;
}

bool Is(const std::vector<std::wstring>& names, std::initializer_list<const wchar_t*> wanted) {
  if (names.size() != wanted.size()) return false;
  std::size_t i = 0;
  for (const wchar_t* name : wanted) {
    if (names[i++] != name) return false;
  }
  return true;
}

constexpr std::array<std::wstring_view, 8> kExecutableExtensions = {L".EXE", L".DLL", L".SYS", L".COM",
                                                                     L".SCR", L".CPL", L".OCX", L".BAT"};

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  return text;
}

// The first file of a command line, and what follows it.
std::wstring_view FirstFile(std::wstring_view command, std::wstring_view& rest) {
  command = Trimmed(command);
  if (command.starts_with(L'"')) {
    const auto close = command.find(L'"', 1);
    const std::wstring_view file = command.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1);
    rest = close == std::wstring_view::npos ? std::wstring_view() : command.substr(close + 1);
    return file;
  }
  const std::wstring upper = UpperText(command);
  for (std::size_t at = 0; at < upper.size(); ++at) {
    for (const std::wstring_view extension : kExecutableExtensions) {
      const std::size_t end = at + extension.size();
      if (upper.compare(at, extension.size(), extension) == 0 &&
          (end == upper.size() || upper[end] == L' ' || upper[end] == L'\t' || upper[end] == L',')) {
        rest = command.substr(end);
        return command.substr(0, end);
      }
    }
  }
  const auto blank = command.find_first_of(L" \t");
  rest = blank == std::wstring_view::npos ? std::wstring_view() : command.substr(blank);
  return command.substr(0, blank);
}

}  // namespace

RegistrationKind RegistrationOf(RegistryRoot root, std::string_view keyPath) {
  bool classes = false;
  const std::vector<std::wstring> names = Names(root, keyPath, classes);
  if (classes) return names.size() == 2 && names[0] == L"CLSID" ? RegistrationKind::ComClass : RegistrationKind::None;
  if (root == RegistryRoot::LocalMachine && names.size() == 4 && names[0] == L"SYSTEM" &&
      names[1] == L"CURRENTCONTROLSET" && names[2] == L"SERVICES") {
    return RegistrationKind::Service;
  }
  if (names.size() == 6 && names[0] == L"SOFTWARE" && names[1] == L"MICROSOFT" && names[2] == L"WINDOWS" &&
      names[3] == L"CURRENTVERSION" && names[4] == L"APP PATHS") {
    return RegistrationKind::AppPath;
  }
  return RegistrationKind::None;
}

bool StartsProgramsFromValues(RegistryRoot root, std::string_view keyPath) {
  bool classes = false;
  const std::vector<std::wstring> names = Names(root, keyPath, classes);
  if (classes) return false;
  for (const wchar_t* last : {L"RUN", L"RUNONCE", L"RUNSERVICES", L"RUNSERVICESONCE"}) {
    if (Is(names, {L"SOFTWARE", L"MICROSOFT", L"WINDOWS", L"CURRENTVERSION", last})) return true;
  }
  return Is(names, {L"SOFTWARE", L"MICROSOFT", L"WINDOWS", L"CURRENTVERSION", L"POLICIES", L"EXPLORER", L"RUN"});
}

std::wstring ProgramFileOfCommand(std::wstring_view command) {
  std::wstring_view rest;
  const std::wstring_view file = FirstFile(command, rest);
  const std::wstring upper = UpperText(file);
  const std::wstring_view name = std::wstring_view(upper).substr(upper.find_last_of(L"\\/") + 1);
  if (name == L"RUNDLL32.EXE" || name == L"RUNDLL32") {
    std::wstring_view ignored;
    std::wstring_view library = FirstFile(rest, ignored);
    library = library.substr(0, library.find(L','));
    if (!library.empty()) return std::wstring(library);
  }
  return std::wstring(file);
}
