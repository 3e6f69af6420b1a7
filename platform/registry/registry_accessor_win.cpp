#include <windows.h>

#include "platform/registry/registry_accessor.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
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
};

DWORD SubkeyCount(HKEY key) {
  DWORD subKeys = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return subKeys;
}

}  // namespace

// Depth first, with the levels on a list of their own: a hostile hive may nest keys far
// deeper than the stack could follow. Each key is opened as itself (REG_OPTION_OPEN_LINK), in
// the view given, so a registry link shows no subkeys and goes as a link, never followed into
// its target; its deletion through that handle is tried at once, which takes a leaf (most of a
// tree) with the enumeration that named it, the open, the deletion and the close. A key with
// subkeys stays for that try and is walked through the same handle; its subkeys are visited
// from the highest index down, so the indices still to be visited stay valid while subkeys
// disappear, and then it is deleted through that handle too. A key that cannot be opened is
// not descended into; its own deletion is still tried, and what stays is recorded with the
// system's reason (a subkey that stays keeps its parent, recorded in its turn). The handles
// never touch openKey_.
LONG RegistryAccessor::DeleteTreeBelow(HKEY base, const std::wstring& subKey, std::wstring name,
                                       TreeDeletion& result) {
  std::vector<TreeLevel> levels;
  const auto stays = [&](LONG code) {
    if (code != ERROR_SUCCESS && !IsNotFound(code)) result.stayed.push_back({name, code});
    return code;
  };
  // The key `sub` of parent, its name appended to name: deleted at once when it is a leaf
  // (answers the deletion's code), else put on the list of levels (answers nothing yet). A key
  // gone (or never there, as one side of the merged classes often is) is not asked to be
  // deleted: the request would be recorded as a change that failed.
  const auto enter = [&](HKEY parent, std::wstring sub, std::size_t parentNameLength) -> std::optional<LONG> {
    TreeLevel level{{}, std::move(sub), parentNameLength, 0};
    // With its security's reading right too, so that a backup reads the key through this
    // handle; a key that refuses that right is opened without it, and one that refuses even
    // that is taken over (Administrators made its owner, its descriptor journaled first).
    const REGSAM rights = RightsFor(KeyAccess::DeleteTree) | view_;
    LONG opened = effects_.OpenRegistryKey(parent, level.subKey, REG_OPTION_OPEN_LINK, rights | READ_CONTROL, name,
                                           level.key);
    if (opened == ERROR_ACCESS_DENIED) {
      opened = OpenOrTakeOver(parent, level.subKey, REG_OPTION_OPEN_LINK, rights, name, level.key);
    }
    if (IsNotFound(opened)) return opened;
    // A take-over the backup refused is listed by the backup already: named once, not walked.
    if (static_cast<DWORD>(opened) == kBackupRefusedCode) return stays(opened);
    if (opened == ERROR_SUCCESS) {
      const LONG code = effects_.DeleteOpenLeafKey(level.key.Get(), parent, level.subKey, view_, name);
      if (code != kKeyHasSubkeysCode) return stays(code);
      level.remaining = SubkeyCount(level.key.Get());
    }
    levels.push_back(std::move(level));
    return std::nullopt;
  };
  std::optional<LONG> code = enter(base, subKey, name.size());
  std::wstring childName(kLongestKeyName + 1, L'\0');
  while (!levels.empty()) {
    TreeLevel& top = levels.back();
    if (top.remaining > 0) {
      DWORD length = static_cast<DWORD>(childName.size());
      // A subkey gone meanwhile is passed; anything left fails the parent's deletion.
      if (RegEnumKeyExW(top.key.Get(), --top.remaining, childName.data(), &length, nullptr, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS) {
        const std::size_t parentNameLength = name.size();
        name.append(L"\\").append(childName.data(), length);
        if (enter(top.key.Get(), std::wstring(childName.data(), length), parentNameLength)) {
          name.resize(parentNameLength);
        }
      }
      continue;
    }
    const HKEY parent = levels.size() > 1 ? levels[levels.size() - 2].key.Get() : base;
    // Emptied, it goes through its own handle; a subkey that stayed (or a gateway that deleted
    // nothing) keeps it, and then it is asked for by name, which answers why it stays.
    LONG deleted = top.key ? effects_.DeleteOpenLeafKey(top.key.Get(), parent, top.subKey, view_, name)
                           : kKeyHasSubkeysCode;
    top.key.Reset();
    if (deleted == kKeyHasSubkeysCode) deleted = effects_.DeleteRegistryKey(parent, top.subKey, view_, name);
    code = stays(deleted);
    name.resize(top.parentNameLength);
    levels.pop_back();
  }
  return *code;
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
