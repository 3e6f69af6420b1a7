#pragma once
// The names a backup gives keys: the registry's own full name with its root spelled as
// regedit spells it, so that one name says which key it is whatever view or user the run
// reached it through, and both undo and regedit find it again.
#include <string>
#include <string_view>

enum class BackupKeyRoot { None, LocalMachine, Users };

// "\REGISTRY\MACHINE\SOFTWARE\X" is "HKEY_LOCAL_MACHINE\SOFTWARE\X", "\REGISTRY\USER\S-1-5-21-1\X"
// is "HKEY_USERS\S-1-5-21-1\X"; any other name is empty.
std::wstring BackupKeyName(std::wstring_view internalName);

struct BackupKeyPlace {
  BackupKeyRoot root = BackupKeyRoot::None;
  std::wstring subKey;  // below the root, without a leading `\`
};

// The root and the path below it of a name BackupKeyName gave; root None for any other text.
BackupKeyPlace PlaceOfBackupKey(std::wstring_view name);
