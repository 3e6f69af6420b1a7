#include "backup/backup_key_names.h"

#include <cwctype>

namespace {

struct RootSpelling {
  BackupKeyRoot root;
  std::wstring_view internal;
  std::wstring_view readable;
};

constexpr RootSpelling kRoots[] = {
    {BackupKeyRoot::LocalMachine, L"\\REGISTRY\\MACHINE", L"HKEY_LOCAL_MACHINE"},
    {BackupKeyRoot::Users, L"\\REGISTRY\\USER", L"HKEY_USERS"},
};

// True when text starts with prefix (letter case aside) followed by its end or a `\`.
bool StartsWithName(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::towupper(static_cast<wint_t>(text[i])) != std::towupper(static_cast<wint_t>(prefix[i]))) return false;
  }
  return text.size() == prefix.size() || text[prefix.size()] == L'\\';
}

}  // namespace

std::wstring BackupKeyName(std::wstring_view internalName) {
  for (const RootSpelling& spelling : kRoots) {
    if (StartsWithName(internalName, spelling.internal)) {
      return std::wstring(spelling.readable) + std::wstring(internalName.substr(spelling.internal.size()));
    }
  }
  return {};
}

BackupKeyPlace PlaceOfBackupKey(std::wstring_view name) {
  for (const RootSpelling& spelling : kRoots) {
    if (!StartsWithName(name, spelling.readable)) continue;
    std::wstring_view rest = name.substr(spelling.readable.size());
    if (!rest.empty()) rest.remove_prefix(1);
    if (rest.empty()) return {};  // a root itself is never a backed-up key
    return {spelling.root, std::wstring(rest)};
  }
  return {};
}
