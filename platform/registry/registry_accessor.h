#pragma once
// One root key and at most one open key; opens existing keys only, each with the rights its
// job needs. Names are UTF-16 inside, so a key whose name the ANSI code page cannot hold is
// reached like any other. Opens and changes go through the effects gateway.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/handles.h"

class Effects;

std::wstring RootKeyName(HKEY root);

// The registry's own full name of an open key ("\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\X"),
// which tells the two views' keys apart; empty when the system does not give it.
std::wstring InternalKeyName(HKEY key);

// What a key is opened for. KEY_ALL_ACCESS would ask for WRITE_DAC and WRITE_OWNER as well,
// which a key may refuse where the job itself is allowed.
enum class KeyAccess { Read, DeleteTree, ChangeValues };
REGSAM RightsFor(KeyAccess access);

// The codes of a key or value that is not there: passed over, never a failure.
bool IsNotFound(LONG code);

// A key that stayed: its readable full name and the system's code.
struct RegistryFailure {
  std::wstring name;
  LONG code;
};

// A value as stored: its type and bytes.
struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct TreeDeletion {
  LONG code = ERROR_SUCCESS;            // of the named key itself
  std::vector<RegistryFailure> stayed;  // every key of the tree that stayed, deepest first
  bool Deleted() const { return code == ERROR_SUCCESS; }
};

class RegistryAccessor {
 public:
  explicit RegistryAccessor(Effects& effects);
  RegistryAccessor();  // acts live
  ~RegistryAccessor() = default;
  RegistryAccessor(const RegistryAccessor&) = delete;
  RegistryAccessor& operator=(const RegistryAccessor&) = delete;

  // view: 0 for the program's own view, KEY_WOW64_64KEY or KEY_WOW64_32KEY for one view;
  // it is asked for on every open and deletion, down the whole of a tree, and the 64-bit
  // view's label starts every key name.
  void SelectRoot(HKEY root, REGSAM view = 0);
  HKEY Root() const { return root_; }
  // True when the path names a key of the 64-bit view's own: one that is there and is not the
  // 32-bit view's key (Windows shares some keys between the views, and on a 32-bit Windows
  // both are one), or one that cannot be opened for another reason than its absence.
  [[nodiscard]] bool HasOwn64BitKey(const std::wstring& path) const;
  // ERROR_SUCCESS, or the system's code; a failed open leaves the open key as it was.
  [[nodiscard]] LONG OpenExistingKey(const std::wstring& path, KeyAccess access);
  // Start-up's reads of ANSI key names, with read rights: true when the key opened.
  [[nodiscard]] bool OpenExistingKey(const std::string& path);
  void CloseCurrentKey();
  bool HasOpenKey() const { return openKey_.Valid(); }
  // Refuses (ERROR_INVALID_PARAMETER, nothing deleted) a path that names no key: empty, or
  // only backslashes. Registry links in the tree are deleted as links, never entered, and
  // the tree is walked with a list of its levels, so no depth of keys exhausts the stack.
  [[nodiscard]] TreeDeletion DeleteKeyTree(const std::wstring& path);
  // ERROR_INVALID_HANDLE with no key open.
  [[nodiscard]] LONG RemoveValue(const std::wstring& name);
  [[nodiscard]] bool HasValue(const std::wstring& name);
  [[nodiscard]] bool HasValue(const std::string& name);
  std::wstring ReadStringValue(const std::wstring& name);
  std::string ReadStringValue(const std::string& name);
  void WriteStringValue(const std::wstring& name, const std::wstring& text);
  // Any type, bytes as stored: ERROR_SUCCESS or the system's code (ERROR_INVALID_HANDLE with
  // no key open).
  [[nodiscard]] LONG ReadValue(const std::wstring& name, RegistryValue& value);
  [[nodiscard]] LONG WriteValue(const std::wstring& name, const RegistryValue& value);
  // Readable name of the open key, e.g. "HKEY_CURRENT_USER\Software\X".
  const std::wstring& OpenKeyName() const { return openKeyName_; }

 private:
  // Opens through the gateway (which passes the key's access list with the backup and restore
  // privileges); where opening it to change it is still denied, has the gateway take the key
  // over and opens again.
  LONG OpenOrTakeOver(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights, const std::wstring& name,
                      UniqueHKey& key);
  LONG DeleteTreeBelow(HKEY base, const std::wstring& subKey, std::wstring name, TreeDeletion& result);
  Effects& effects_;
  HKEY root_ = HKEY_CURRENT_USER;
  REGSAM view_ = 0;
  std::wstring rootName_ = RootKeyName(HKEY_CURRENT_USER);
  UniqueHKey openKey_;
  std::wstring openKeyName_;
};
