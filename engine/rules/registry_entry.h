#pragma once
// The three kinds of registry rule entries, split into root, key path and value names.
// Every entry begins with a root name and a `\`; only the three full root names below
// select a root (no abbreviation such as HKLM), anything else keeps HKEY_CURRENT_USER.
#include <optional>
#include <string>
#include <string_view>

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT".
std::string_view RegistryRootName(RegistryRoot root);
// The root an entry works on: the text before its first `\`, compared case-insensitively.
RegistryRoot RootOfEntry(std::string_view line);

// [Registry_Delete]: root name, `\`, key path (everything after the first `\`; the whole
// line when it has none).
struct DeleteKeyEntry {
  RegistryRoot root;
  std::string keyPath;
};
DeleteKeyEntry ParseDeleteKeyEntry(std::string_view line);

// [Registry_Delete_Val]: root name, `\`, key path, `=`, value name. The value name is
// everything after the first `=`; without any `=` the key path is empty and the value
// name is the whole line.
struct DeleteValueEntry {
  RegistryRoot root;
  std::string keyPath;
  std::string valueName;
};
DeleteValueEntry ParseDeleteValueEntry(std::string_view line);

// [Registry_Move_Val]: root name, `\`, key path, `\`, new name, `=`, old name. The new
// name runs back from the first `=` to the `\` before it, which ends the key path. Empty
// when the line has no `=` or no `\` before its first `=`.
struct RenameValueEntry {
  RegistryRoot root;
  std::string keyPath;
  std::string newName;
  std::string oldName;
};
std::optional<RenameValueEntry> ParseRenameValueEntry(std::string_view line);
