#include <windows.h>

#include "platform/registry/registry_accessor.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/effects.h"
#include "platform/errors.h"
#include "platform/registry/registry_views.h"
#include "platform/text/wide_text.h"

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
  const LONG code = effects_.OpenRegistryKey(start.base, start.rest, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                             std::wstring(k64BitViewLabelWide) + name, wide);
  if (code != ERROR_SUCCESS) return !IsNotFound(code);
  UniqueHKey narrow;
  if (effects_.OpenRegistryKey(start.base, start.rest, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, name, narrow) !=
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
  const LONG code = OpenOrTakeOver(start.base, start.rest, 0, RightsFor(access) | view_, name, opened);
  if (code != ERROR_SUCCESS) return code;
  openKeyName_ = std::move(name);
  openKey_ = std::move(opened);
  return ERROR_SUCCESS;
}

LONG RegistryAccessor::OpenOrTakeOver(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                                      const std::wstring& name, UniqueHKey& key) {
  const LONG code = effects_.OpenRegistryKey(base, subKey, options, rights, name, key);
  // A key is taken over only to change it, never to read it.
  const bool changes = (rights & ~(KEY_READ | KEY_WOW64_RES)) != 0;
  if (code != ERROR_ACCESS_DENIED || !changes) return code;
  const LONG taken = effects_.TakeKeyOwnership(base, subKey, view_, name);
  // A take-over the backup refused is listed by the backup already.
  if (static_cast<DWORD>(taken) == kBackupRefusedCode) return taken;
  return taken == ERROR_SUCCESS ? effects_.OpenRegistryKey(base, subKey, options, rights, name, key) : code;
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

namespace {

// One key of the tree on the way down: its handle, its name below the key above it, the length
// of the readable name above it, and how many of its subkeys are still to be visited.
struct TreeLevel {
  UniqueHKey key;
  std::wstring subKey;
  std::size_t parentNameLength;
  DWORD remaining;
  bool missing;  // its opening found no such key: there is nothing to delete
};

DWORD SubkeyCount(HKEY key) {
  DWORD subKeys = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return subKeys;
}

// NtEnumerateKey's KeyFullInformation: what a subkey holds, read through its parent's handle
// without opening it. The class name after it is not needed.
struct KeyFullInformation {
  LARGE_INTEGER lastWriteTime;
  ULONG titleIndex;
  ULONG classOffset;
  ULONG classLength;
  ULONG subKeys;
  ULONG maxNameLength;
  ULONG maxClassLength;
  ULONG values;
  ULONG maxValueNameLength;
  ULONG maxValueDataLength;
};

// One subkey as its parent's enumeration gives it.
struct ChildKey {
  DWORD nameLength = 0;
  bool known = false;  // the subkey count below belongs to this child for sure
  DWORD subKeys = 0;
};

// The name of the parent's subkey at index, and, from a second enumeration at the same index,
// its subkey count. Under Wine each registry call is a round trip to its server, so learning
// that a subkey is a leaf this way saves opening, querying and closing it. Should the parent
// change between the two calls (another program adding or removing a subkey), the index may
// name another key: the two answers agree on the last write time, or the count is not used.
LONG EnumerateChild(HKEY parent, DWORD index, std::wstring& name, ChildKey& child) {
  using EnumerateKey = LONG(WINAPI*)(HANDLE, ULONG, int, void*, ULONG, ULONG*);
  constexpr int kKeyFullInformation = 2;
  constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005);  // the fixed part is filled
  static const auto enumerate = reinterpret_cast<EnumerateKey>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtEnumerateKey")));
  child = ChildKey{};
  child.nameLength = static_cast<DWORD>(name.size());
  FILETIME written{};
  const LONG code = RegEnumKeyExW(parent, index, name.data(), &child.nameLength, nullptr, nullptr, nullptr, &written);
  if (code != ERROR_SUCCESS || enumerate == nullptr) return code;
  KeyFullInformation full{};
  ULONG size = 0;
  const LONG status = enumerate(parent, index, kKeyFullInformation, &full, sizeof full, &size);
  // The fixed part ends with the last count; the structure's padding to 8 bytes is not given.
  constexpr ULONG kFixedPart = offsetof(KeyFullInformation, maxValueDataLength) + sizeof(ULONG);
  child.known = (status == 0 || status == kBufferOverflow) && size >= kFixedPart &&
                full.lastWriteTime.LowPart == written.dwLowDateTime &&
                static_cast<DWORD>(full.lastWriteTime.HighPart) == written.dwHighDateTime;
  child.subKeys = full.subKeys;
  return ERROR_SUCCESS;
}

}  // namespace

// Depth first, with the levels on a list of their own: a hostile hive may nest keys far
// deeper than the stack could follow. Each key walked is opened as itself
// (REG_OPTION_OPEN_LINK), so a registry link shows no subkeys and is deleted as a link, never
// followed into its target. A subkey its parent's enumeration shows without subkeys (a link
// among them: the enumeration describes the link, not its target) is deleted at once by name
// below the parent, never opened by the walk. Subkeys are visited from the highest index down,
// so the indices still to be visited stay valid while subkeys disappear. A key that cannot be
// opened is not descended into; its own deletion is still tried, and what stays is recorded
// with the system's reason (a subkey that stays keeps its parent, recorded in its turn). The
// handles never touch openKey_.
LONG RegistryAccessor::DeleteTreeBelow(HKEY base, const std::wstring& subKey, std::wstring name,
                                       TreeDeletion& result) {
  std::vector<TreeLevel> levels;
  // subKeys: the count the parent's enumeration gave, or nothing when it must be asked for.
  const auto enter = [&](HKEY parent, std::wstring sub, std::size_t parentNameLength, const DWORD* subKeys) {
    TreeLevel level{{}, std::move(sub), parentNameLength, 0, false};
    const LONG opened = OpenOrTakeOver(parent, level.subKey, REG_OPTION_OPEN_LINK,
                                       RightsFor(KeyAccess::DeleteTree) | view_, name, level.key);
    if (opened == ERROR_SUCCESS) level.remaining = subKeys ? *subKeys : SubkeyCount(level.key.Get());
    level.missing = IsNotFound(opened);
    levels.push_back(std::move(level));
  };
  const auto remove = [&](HKEY parent, const std::wstring& sub) {
    LONG deleted = effects_.DeleteRegistryKey(parent, sub, view_, name);
    if (deleted == ERROR_ACCESS_DENIED) {
      const LONG taken = effects_.TakeKeyOwnership(parent, sub, view_, name);
      if (taken == ERROR_SUCCESS) deleted = effects_.DeleteRegistryKey(parent, sub, view_, name);
      if (static_cast<DWORD>(taken) == kBackupRefusedCode) deleted = taken;
    }
    if (deleted != ERROR_SUCCESS && !IsNotFound(deleted)) result.stayed.push_back({name, deleted});
    return deleted;
  };
  enter(base, subKey, name.size(), nullptr);
  std::wstring childName(kLongestKeyName + 1, L'\0');
  ChildKey child;
  LONG code = ERROR_SUCCESS;
  while (!levels.empty()) {
    TreeLevel& top = levels.back();
    if (top.remaining > 0) {
      // A subkey gone meanwhile is passed; anything left fails the parent's deletion.
      if (EnumerateChild(top.key.Get(), --top.remaining, childName, child) == ERROR_SUCCESS) {
        const std::size_t parentNameLength = name.size();
        name.append(L"\\").append(childName.data(), child.nameLength);
        if (child.known && child.subKeys == 0) {
          remove(top.key.Get(), std::wstring(childName.data(), child.nameLength));
          name.resize(parentNameLength);
        } else {
          enter(top.key.Get(), std::wstring(childName.data(), child.nameLength), parentNameLength,
                child.known ? &child.subKeys : nullptr);
        }
      }
      continue;
    }
    top.key.Reset();
    const HKEY parent = levels.size() > 1 ? levels[levels.size() - 2].key.Get() : base;
    // A key gone (or never there, as one side of the merged classes often is) is not asked to
    // be deleted: the request would be recorded as a change that failed.
    code = top.missing ? ERROR_FILE_NOT_FOUND : remove(parent, top.subKey);
    name.resize(top.parentNameLength);
    levels.pop_back();
  }
  return code;
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

LONG RegistryAccessor::ReadValue(const std::wstring& name, RegistryValue& value) {
  if (!openKey_.Valid()) return ERROR_INVALID_HANDLE;
  DWORD size = 0;
  LONG code = RegQueryValueExW(openKey_.Get(), name.c_str(), nullptr, &value.type, nullptr, &size);
  // A value that grew after its size was asked answers ERROR_MORE_DATA with its new size.
  for (int attempt = 0; code == ERROR_SUCCESS && attempt < kReadAttempts; ++attempt) {
    value.data.assign(size, 0);
    code = RegQueryValueExW(openKey_.Get(), name.c_str(), nullptr, &value.type, value.data.data(), &size);
    if (code == ERROR_SUCCESS) {
      value.data.resize(size);
      return ERROR_SUCCESS;
    }
    if (code == ERROR_MORE_DATA) code = ERROR_SUCCESS;
  }
  return code == ERROR_SUCCESS ? ERROR_MORE_DATA : code;
}

LONG RegistryAccessor::WriteValue(const std::wstring& name, const RegistryValue& value) {
  if (!openKey_.Valid()) return ERROR_INVALID_HANDLE;
  return effects_.WriteRegistryValue(openKey_.Get(), name, value.type, value.data, openKeyName_);
}

// A missing value, and a value of any type that holds no data, read as an empty text.
std::wstring RegistryAccessor::ReadStringValue(const std::wstring& name) {
  RegistryValue value;
  const LONG code = ReadValue(name, value);
  if (code == ERROR_INVALID_HANDLE || IsNotFound(code)) return {};
  if (code != ERROR_SUCCESS) throw ERegistryException(ValueError("Failed to get data for", name));
  if (value.data.empty()) return {};
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
    throw ERegistryException(ValueError("Invalid data type for", name));
  }
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
  const auto nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

std::string RegistryAccessor::ReadStringValue(const std::string& name) {
  return AnsiFromWide(ReadStringValue(WideFromAnsi(name)));
}

void RegistryAccessor::WriteStringValue(const std::wstring& name, const std::wstring& text) {
  // The text's characters and one NUL.
  RegistryValue value{REG_SZ, std::vector<BYTE>((text.size() + 1) * sizeof(wchar_t), 0)};
  std::memcpy(value.data.data(), text.c_str(), text.size() * sizeof(wchar_t));
  if (WriteValue(name, value) != ERROR_SUCCESS) throw ERegistryException(ValueError("Failed to set data for", name));
}
