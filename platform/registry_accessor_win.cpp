#include <windows.h>

#include "platform/registry_accessor.h"

#include <cstdio>

#include "platform/effects.h"
#include "platform/errors.h"

namespace {

// Where a path starts: the open key for a relative path when one is open, else the root.
struct PathStart {
  HKEY base;
  std::string baseName;
  std::string rest;  // the path without the leading `\` of an absolute path
};

std::string JoinKeyName(const std::string& base, const std::string& rest) {
  return rest.empty() ? base : base + "\\" + rest;
}

// A path beginning with `\` is absolute: it starts at the root, without that `\`.
PathStart StartOf(const std::string& path, HKEY root, HKEY openKey, const std::string& openKeyName) {
  if (!path.empty() && path[0] == '\\') return {root, RootKeyName(root), path.substr(1)};
  if (openKey) return {openKey, openKeyName, path};
  return {root, RootKeyName(root), path};
}

bool NamesNoKey(const std::string& path) { return path.find_first_not_of('\\') == std::string::npos; }

// Registry names of a double-byte system locale may need two bytes per character in ANSI,
// while the key's longest-name length counts characters.
DWORD AnsiNameCapacity(DWORD longestName) {
  static const bool doubleByte = GetSystemMetrics(SM_DBCSENABLED) != 0;
  return doubleByte ? longestName * 2 : longestName;
}

std::string ValueError(const char* what, const std::string& name) {
  return std::string(what) + " '" + name + "'";
}

}  // namespace

std::string RootKeyName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  char text[32];
  std::snprintf(text, sizeof text, "HKEY_%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(root)));
  return text;
}

RegistryAccessor::RegistryAccessor(Effects& effects) : effects_(effects) {}
RegistryAccessor::RegistryAccessor() : RegistryAccessor(LiveEffects::Instance()) {}

void RegistryAccessor::SelectRoot(HKEY root) {
  if (root == root_) return;
  root_ = root;
  CloseCurrentKey();
}

bool RegistryAccessor::OpenExistingKey(const std::string& path) {
  const PathStart start = StartOf(path, root_, openKey_.Get(), openKeyName_);
  HKEY opened = nullptr;
  if (RegOpenKeyExA(start.base, start.rest.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return false;
  openKeyName_ = JoinKeyName(start.baseName, start.rest);
  openKey_ = UniqueHKey(opened);
  return true;
}

void RegistryAccessor::CloseCurrentKey() {
  openKey_.Reset();
  openKeyName_.clear();
}

bool RegistryAccessor::DeleteKeyTree(const std::string& path) {
  // A path naming no key would open the base itself and empty it, a root key included.
  if (NamesNoKey(path)) return false;
  const PathStart start = StartOf(path, root_, openKey_.Get(), openKeyName_);
  return DeleteTreeBelow(start.base, start.rest, JoinKeyName(start.baseName, start.rest));
}

// Depth first, each key's subkeys from the highest index down, so the indices still to be
// visited stay valid while subkeys disappear. The temporary handle never touches openKey_.
bool RegistryAccessor::DeleteTreeBelow(HKEY base, const std::string& subKey, const std::string& name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(base, subKey.c_str(), 0, KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS) {
    const UniqueHKey key(opened);
    DWORD subKeys = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, &longestName, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      const DWORD capacity = AnsiNameCapacity(longestName) + 1;
      std::string buffer(capacity, '\0');
      for (DWORD index = subKeys; index-- > 0;) {
        DWORD length = capacity;
        if (RegEnumKeyExA(key.Get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
          continue;
        }
        const std::string child(buffer.data(), length);
        (void)DeleteTreeBelow(key.Get(), child, name + "\\" + child);
      }
    }
  }
  return effects_.DeleteRegistryKey(base, subKey, name) == ERROR_SUCCESS;
}

bool RegistryAccessor::RemoveValue(const std::string& name) {
  if (!openKey_.Valid()) return false;
  return effects_.DeleteRegistryValue(openKey_.Get(), name, openKeyName_) == ERROR_SUCCESS;
}

bool RegistryAccessor::HasValue(const std::string& name) {
  if (!openKey_.Valid()) return false;
  DWORD type = 0;
  DWORD size = 0;
  return RegQueryValueExA(openKey_.Get(), name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

std::string RegistryAccessor::ReadStringValue(const std::string& name) {
  if (!openKey_.Valid()) return {};
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(openKey_.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0) {
    return {};
  }
  std::string data(size, '\0');
  if (RegQueryValueExA(openKey_.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS) {
    throw ERegistryException(ValueError("Failed to get data for", name));
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(ValueError("Invalid data type for", name));
  if (size < data.size()) data.resize(size);
  const auto nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  return data;
}

void RegistryAccessor::WriteStringValue(const std::string& name, const std::string& text) {
  if (!openKey_.Valid() ||
      effects_.WriteRegistryString(openKey_.Get(), name, text, openKeyName_) != ERROR_SUCCESS) {
    throw ERegistryException(ValueError("Failed to set data for", name));
  }
}
