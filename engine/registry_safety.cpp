#include "engine/registry_safety.h"

#include <string>
#include <vector>

#include "platform/text_rules.h"

namespace {

// Shared keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, upper-cased, besides every
// key with fewer than two components (SOFTWARE, SYSTEM, Environment, ...). The 32-bit view
// (SOFTWARE\WOW6432Node\...) and the numbered control sets are compared as the keys they
// mirror, and SOFTWARE\Classes\<name> as HKEY_CLASSES_ROOT\<name>.
constexpr std::string_view kSharedMachineOrUserKeys[] = {
    "SOFTWARE\\MICROSOFT",
    "SOFTWARE\\CLASSES",
    "SOFTWARE\\POLICIES",
    "SOFTWARE\\MICROSOFT\\WINDOWS",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICESONCE",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\SHELL FOLDERS",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\USER SHELL FOLDERS",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION",
    "SYSTEM\\CURRENTCONTROLSET",
    "SYSTEM\\CURRENTCONTROLSET\\SERVICES",
    "SYSTEM\\CURRENTCONTROLSET\\CONTROL",
};

// Shared keys under HKEY_CLASSES_ROOT (whose root itself names no key), upper-cased.
constexpr std::string_view kSharedClassKeys[] = {
    "CLSID", "INTERFACE", "TYPELIB", "APPID", "*", "DIRECTORY", "FOLDER",
};

constexpr std::string_view kWow64Node = "WOW6432NODE";
constexpr std::string_view kControlSetPrefix = "CONTROLSET";

// ControlSet001, ControlSet002, ...: the sets CurrentControlSet links to.
bool IsNumberedControlSet(std::string_view name) {
  if (!name.starts_with(kControlSetPrefix) || name.size() == kControlSetPrefix.size()) return false;
  return name.substr(kControlSetPrefix.size()).find_first_not_of("0123456789") == std::string_view::npos;
}

// The upper-cased components of a path; empty components (from leading, trailing or
// doubled backslashes) are dropped.
std::vector<std::string> Components(std::string_view keyPath) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    auto end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) parts.push_back(UpperAscii(keyPath.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::size_t from) {
  std::string joined;
  for (std::size_t i = from; i < parts.size(); ++i) {
    if (i > from) joined += '\\';
    joined += parts[i];
  }
  return joined;
}

bool Listed(const auto& list, std::string_view key) {
  for (const auto entry : list) {
    if (entry == key) return true;
  }
  return false;
}

bool IsSharedClassKey(std::vector<std::string> parts) {
  if (!parts.empty() && parts[0] == kWow64Node) parts.erase(parts.begin());
  return parts.empty() || Listed(kSharedClassKeys, Join(parts, 0));
}

bool IsSharedMachineOrUserKey(std::vector<std::string> parts) {
  if (parts.size() >= 2 && parts[0] == "SOFTWARE" && parts[1] == kWow64Node) {
    parts.erase(parts.begin() + 1);
  }
  if (parts.size() >= 2 && parts[0] == "SYSTEM" && IsNumberedControlSet(parts[1])) {
    parts[1] = "CURRENTCONTROLSET";
  }
  if (parts.size() < 2) return true;
  if (parts.size() >= 3 && parts[0] == "SOFTWARE" && parts[1] == "CLASSES") {
    return IsSharedClassKey({parts.begin() + 2, parts.end()});
  }
  return Listed(kSharedMachineOrUserKeys, Join(parts, 0));
}

}  // namespace

bool NamesNoKey(std::string_view keyPath) { return keyPath.find_first_not_of('\\') == std::string_view::npos; }

bool IsSharedRegistryKey(RegistryRoot root, std::string_view keyPath) {
  const auto parts = Components(keyPath);
  if (root == RegistryRoot::ClassesRoot) return IsSharedClassKey(parts);
  return IsSharedMachineOrUserKey(parts);
}
