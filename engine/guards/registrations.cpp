#include "engine/guards/registrations.h"

#include <vector>

namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

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

RegistrationKey RegistrationContaining(RegistryRoot root, std::string_view keyPath) {
  // Registrations lie at most six names deep (App Paths); a deeper path is asked only that far.
  constexpr int kDeepestRegistration = 8;
  // A place where products register below a registration (the event log service's sources)
  // makes what lies below it items of their own, not parts of that registration.
  int depth = 0;
  RegistrationKey found;
  for (std::size_t end = 0; end <= keyPath.size() && depth < kDeepestRegistration; ++end) {
    if (end < keyPath.size() && keyPath[end] != '\\') continue;
    if (end > 0 && keyPath[end - 1] != '\\') {
      ++depth;
      const std::string_view prefix = keyPath.substr(0, end);
      if (found.kind != RegistrationKind::None) {
        if (end < keyPath.size() && IsProductKeyPlace(root, prefix)) return {};
      } else if (const RegistrationKind kind = RegistrationOf(root, prefix); kind != RegistrationKind::None) {
        found = {kind, std::string(prefix)};
      }
    }
  }
  return found;
}

namespace {

struct EvidencePlace {
  RegistryRoot root;  // CurrentUser stands for both users' roots
  std::initializer_list<const wchar_t*> names;
  Evidence evidence;
};

const EvidencePlace kEvidencePlaces[] = {
    {RegistryRoot::LocalMachine, {L"SYSTEM", L"CURRENTCONTROLSET", L"CONTROL", L"SAFEBOOT", L"MINIMAL"}, Evidence::ProductService},
    {RegistryRoot::LocalMachine, {L"SYSTEM", L"CURRENTCONTROLSET", L"CONTROL", L"SAFEBOOT", L"NETWORK"}, Evidence::ProductService},
    {RegistryRoot::LocalMachine, {L"SOFTWARE", L"MICROSOFT", L"AMSI", L"PROVIDERS"}, Evidence::ProductClass},
    {RegistryRoot::LocalMachine,
     {L"SOFTWARE", L"MICROSOFT", L"WINDOWS", L"CURRENTVERSION", L"AUTHENTICATION", L"CREDENTIAL PROVIDERS"},
     Evidence::ProductClass},
    {RegistryRoot::CurrentUser,
     {L"SOFTWARE", L"MICROSOFT", L"WINDOWS", L"CURRENTVERSION", L"EXPLORER", L"CONTROLPANEL", L"NAMESPACE"},
     Evidence::ProductClass},
    {RegistryRoot::LocalMachine, {L"SOFTWARE", L"MICROSOFT", L"WINDOWS", L"WINDOWS ERROR REPORTING", L"LOCALDUMPS"},
     Evidence::ProductProgram},
    {RegistryRoot::LocalMachine, {L"SOFTWARE", L"MICROSOFT", L"WINDOWS NT", L"CURRENTVERSION", L"WINLOGON", L"NOTIFY"},
     Evidence::ProductData},
};

}  // namespace

Evidence EvidenceNeededFor(RegistryRoot root, std::string_view keyPath) {
  if (keyPath.size() > 1024) return Evidence::None;  // deeper than any place below
  bool classes = false;
  std::vector<std::wstring> names = Names(root, keyPath, classes);
  if (classes || names.empty()) return Evidence::None;
  names.pop_back();  // the key itself: the place is the key right above it
  for (const EvidencePlace& place : kEvidencePlaces) {
    const bool rootMatches = place.root == root || (place.root == RegistryRoot::CurrentUser && root == RegistryRoot::LocalMachine);
    if (rootMatches && Is(names, place.names)) return place.evidence;
  }
  return Evidence::None;
}

std::string_view MissingEvidenceText(Evidence evidence) {
  switch (evidence) {
    case Evidence::None: return {};
    case Evidence::ProductService: return "its name is not a service whose file is the product's";
    case Evidence::ProductClass: return "its name is not a class whose server is the product's file";
    case Evidence::ProductProgram: return "its name is not the name of one of the product's programs";
    case Evidence::ProductData: return "none of its values names the product's file";
  }
  return {};
}

bool KeepsProductValuesInWindowsTree(RegistryRoot root, std::string_view keyPath) {
  if (root != RegistryRoot::LocalMachine || keyPath.size() > 1024) return false;
  bool classes = false;
  const std::vector<std::wstring> names = Names(root, keyPath, classes);
  return !classes && Is(names, {L"SYSTEM", L"CURRENTCONTROLSET", L"SERVICES", L"SHAREDACCESS", L"PARAMETERS",
                                L"FIREWALLPOLICY", L"FIREWALLRULES"});
}

namespace {

// The key path up to and with its count-th name, as written; the whole path when it has fewer.
std::string_view PrefixOfNames(std::string_view keyPath, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t end = 0; end <= keyPath.size(); ++end) {
    if (end < keyPath.size() && keyPath[end] != '\\') continue;
    if (end > 0 && keyPath[end - 1] != '\\' && ++seen == count) return keyPath.substr(0, end);
  }
  return keyPath;
}

std::size_t CountNames(std::string_view keyPath) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < keyPath.size(); ++i) {
    if (keyPath[i] != '\\' && (i + 1 == keyPath.size() || keyPath[i + 1] == '\\')) ++count;
  }
  return count;
}

}  // namespace

EvidenceItem EvidenceItemOfKey(RegistryRoot root, std::string_view keyPath) {
  if (HasOverlongKeyName(keyPath) || !InWindowsRegistryNamespace(root, keyPath)) return {};
  const std::size_t names = RegistrationNameCount(root, keyPath);
  if (names == 0) return {};
  return {EvidenceItemKind::Key, std::string(PrefixOfNames(keyPath, names)), names == CountNames(keyPath)};
}

EvidenceItem EvidenceItemOfValue(RegistryRoot root, std::string_view keyPath) {
  if (HasOverlongKeyName(keyPath)) return {};
  if (KeepsProductValuesInWindowsTree(root, keyPath)) return {EvidenceItemKind::Value, std::string(keyPath), true};
  if (!InWindowsRegistryNamespace(root, keyPath)) return {};
  if (IsProductValuePlace(root, keyPath)) return {EvidenceItemKind::Value, std::string(keyPath), true};
  EvidenceItem item = EvidenceItemOfKey(root, keyPath);
  item.namedExactly = false;
  return item;
}
