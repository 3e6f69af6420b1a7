#include <windows.h>

#include "platform/registry_accessor.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/effects.h"
#include "platform/errors.h"
#include "platform/registry_views.h"
#include "platform/wide_text.h"

namespace {

// The registry's limit for a key name, in characters.
constexpr DWORD kLongestKeyName = 255;
// A value that keeps growing between the size query and the read is read at most this often.
constexpr int kReadAttempts = 4;

// Where a path starts: the open key for a relative path when one is open, else the root.
struct PathStart {
  HKEY base;
  std::wstring baseName;
  std::wstring rest;  // the path without the leading `\` of an absolute path
};

std::wstring JoinKeyName(const std::wstring& base, const std::wstring& rest) {
  return rest.empty() ? base : base + L"\\" + rest;
}

// A path beginning with `\` is absolute: it starts at the root, without that `\`.
PathStart StartOf(const std::wstring& path, HKEY root, const std::wstring& rootName, HKEY openKey,
                  const std::wstring& openKeyName) {
  if (!path.empty() && path[0] == L'\\') return {root, rootName, path.substr(1)};
  if (openKey) return {openKey, openKeyName, path};
  return {root, rootName, path};
}

// The registry's own full name of an open key ("\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\X"),
// which tells the two views' keys apart; empty when the system does not give it.
std::wstring InternalKeyName(HKEY key) {
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  constexpr int kKeyNameInformation = 3;
  static const auto query = reinterpret_cast<QueryKey>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  if (!query) return {};
  // A ULONG byte count, then the name; a key's full name stays far below 64 KB.
  std::vector<ULONG> buffer(1 + 0x10000 / sizeof(ULONG));
  ULONG size = 0;
  const auto bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
  if (query(key, kKeyNameInformation, buffer.data(), bytes, &size) != 0) return {};
  const ULONG nameBytes = std::min<ULONG>(buffer[0], bytes - static_cast<ULONG>(sizeof(ULONG)));
  return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), nameBytes / sizeof(wchar_t));
}

bool NamesNoKey(const std::wstring& path) { return path.find_first_not_of(L'\\') == std::wstring::npos; }

// A component longer than the registry's limit names no key that can exist; the path is
// not handed on (nor copied, which matters for a rule line of megabytes).
bool HasOverlongName(const std::wstring& path) {
  std::size_t run = 0;
  for (const wchar_t c : path) {
    run = c == L'\\' ? 0 : run + 1;
    if (run > kLongestKeyName) return true;
  }
  return false;
}

std::string ValueError(const char* what, const std::wstring& name) {
  return std::string(what) + " '" + AnsiFromWide(name) + "'";
}

}  // namespace

REGSAM RightsFor(KeyAccess access) {
  switch (access) {
    case KeyAccess::DeleteTree: return DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
    case KeyAccess::ChangeValues: return KEY_SET_VALUE | KEY_QUERY_VALUE;
    case KeyAccess::Read: break;
  }
  return KEY_READ;
}

bool IsNotFound(LONG code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

std::wstring RootKeyName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return L"HKEY_USERS";
  char text[32];
  std::snprintf(text, sizeof text, "HKEY_%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(root)));
  return WideFromAnsi(text);
}

RegistryAccessor::RegistryAccessor(Effects& effects) : effects_(effects) {}
RegistryAccessor::RegistryAccessor() : RegistryAccessor(LiveEffects::Instance()) {}

void RegistryAccessor::SelectRoot(HKEY root, REGSAM view) {
  if (root == root_ && view == view_) return;
  root_ = root;
  view_ = view;
  rootName_ = RootKeyName(root);
  if (view & KEY_WOW64_64KEY) rootName_.insert(0, k64BitViewLabelWide);
  CloseCurrentKey();
}

bool RegistryAccessor::HasOwn64BitKey(const std::wstring& path) const {
  if (HasOverlongName(path)) return false;
  const PathStart start = StartOf(path, root_, rootName_, openKey_.Get(), openKeyName_);
  std::wstring name = JoinKeyName(start.baseName, start.rest);
  if (name.starts_with(k64BitViewLabelWide)) name.erase(0, k64BitViewLabelWide.size());
  UniqueHKey wide;
  const LONG code = effects_.OpenRegistryKey(start.base, start.rest, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                             std::wstring(k64BitViewLabelWide) + name, wide);
  if (code != ERROR_SUCCESS) return !IsNotFound(code);
  UniqueHKey narrow;
  if (effects_.OpenRegistryKey(start.base, start.rest, KEY_QUERY_VALUE | KEY_WOW64_32KEY, name, narrow) !=
      ERROR_SUCCESS) {
    return true;
  }
  const std::wstring wideName = InternalKeyName(wide.Get());
  return wideName.empty() || wideName != InternalKeyName(narrow.Get());
}

LONG RegistryAccessor::OpenExistingKey(const std::wstring& path, KeyAccess access) {
  if (HasOverlongName(path)) return ERROR_FILE_NOT_FOUND;
  const PathStart start = StartOf(path, root_, rootName_, openKey_.Get(), openKeyName_);
  std::wstring name = JoinKeyName(start.baseName, start.rest);
  UniqueHKey opened;
  const LONG code = effects_.OpenRegistryKey(start.base, start.rest, RightsFor(access) | view_, name, opened);
  if (code != ERROR_SUCCESS) return code;
  openKeyName_ = std::move(name);
  openKey_ = std::move(opened);
  return ERROR_SUCCESS;
}

bool RegistryAccessor::OpenExistingKey(const std::string& path) {
  return OpenExistingKey(WideFromAnsi(path), KeyAccess::Read) == ERROR_SUCCESS;
}

void RegistryAccessor::CloseCurrentKey() {
  openKey_.Reset();
  openKeyName_.clear();
}

TreeDeletion RegistryAccessor::DeleteKeyTree(const std::wstring& path) {
  TreeDeletion result;
  // A path naming no key would open the base itself and empty it, a root key included.
  if (NamesNoKey(path)) {
    result.code = ERROR_INVALID_PARAMETER;
    return result;
  }
  if (HasOverlongName(path)) {
    result.code = ERROR_FILE_NOT_FOUND;
    return result;
  }
  const PathStart start = StartOf(path, root_, rootName_, openKey_.Get(), openKeyName_);
  result.code = DeleteTreeBelow(start.base, start.rest, JoinKeyName(start.baseName, start.rest), result);
  return result;
}

// Depth first. A key that cannot be opened is not descended into; its own deletion is still
// tried, and what stays is recorded with the system's reason. The temporary handle never
// touches openKey_.
LONG RegistryAccessor::DeleteTreeBelow(HKEY base, const std::wstring& subKey, const std::wstring& name,
                                       TreeDeletion& result) {
  {
    UniqueHKey key;
    if (effects_.OpenRegistryKey(base, subKey, RightsFor(KeyAccess::DeleteTree) | view_, name, key) ==
        ERROR_SUCCESS) {
      DeleteSubkeys(key.Get(), name, result);
    }
  }
  const LONG code = effects_.DeleteRegistryKey(base, subKey, view_, name);
  if (code != ERROR_SUCCESS && !IsNotFound(code)) result.stayed.push_back({name, code});
  return code;
}

// From the highest index down, so the indices still to be visited stay valid while subkeys
// disappear. A subkey that stays keeps its parent, whose failure is recorded in its turn.
void RegistryAccessor::DeleteSubkeys(HKEY key, const std::wstring& name, TreeDeletion& result) {
  DWORD subKeys = 0;
  DWORD longestName = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestName, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::wstring buffer(longestName + 1, L'\0');
  for (DWORD index = subKeys; index-- > 0;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG code = RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_MORE_DATA) {  // a longer name came in after the query
      buffer.assign(kLongestKeyName + 1, L'\0');
      length = static_cast<DWORD>(buffer.size());
      code = RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    }
    if (code != ERROR_SUCCESS) continue;  // gone meanwhile; anything left fails the parent's deletion
    const std::wstring child(buffer.data(), length);
    (void)DeleteTreeBelow(key, child, name + L"\\" + child, result);
  }
}

LONG RegistryAccessor::RemoveValue(const std::wstring& name) {
  if (!openKey_.Valid()) return ERROR_INVALID_HANDLE;
  return effects_.DeleteRegistryValue(openKey_.Get(), name, openKeyName_);
}

bool RegistryAccessor::HasValue(const std::wstring& name) {
  if (!openKey_.Valid()) return false;
  DWORD type = 0;
  DWORD size = 0;
  return RegQueryValueExW(openKey_.Get(), name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

bool RegistryAccessor::HasValue(const std::string& name) { return HasValue(WideFromAnsi(name)); }

std::wstring RegistryAccessor::ReadStringValue(const std::wstring& name) {
  if (!openKey_.Valid()) return {};
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(openKey_.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) {
    return {};
  }
  std::wstring data;
  LONG code = ERROR_MORE_DATA;
  // A value that grew after its size was asked answers ERROR_MORE_DATA with its new size.
  for (int attempt = 0; code == ERROR_MORE_DATA && attempt < kReadAttempts; ++attempt) {
    data.assign((size + 1) / sizeof(wchar_t), L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    code = RegQueryValueExW(openKey_.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                            &size);
  }
  if (code != ERROR_SUCCESS) throw ERegistryException(ValueError("Failed to get data for", name));
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(ValueError("Invalid data type for", name));
  data.resize(size / sizeof(wchar_t));
  const auto nul = data.find(L'\0');
  if (nul != std::wstring::npos) data.resize(nul);
  return data;
}

std::string RegistryAccessor::ReadStringValue(const std::string& name) {
  return AnsiFromWide(ReadStringValue(WideFromAnsi(name)));
}

void RegistryAccessor::WriteStringValue(const std::wstring& name, const std::wstring& text) {
  if (!openKey_.Valid() ||
      effects_.WriteRegistryString(openKey_.Get(), name, text, openKeyName_) != ERROR_SUCCESS) {
    throw ERegistryException(ValueError("Failed to set data for", name));
  }
}
