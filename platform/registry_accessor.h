#pragma once
// One root key and at most one open key; opens existing keys only, always with
// KEY_ALL_ACCESS. Destructive calls go through the effects gateway.
#include <windows.h>

#include <string>

#include "platform/handles.h"

class Effects;

class RegistryAccessor {
 public:
  explicit RegistryAccessor(Effects& effects);
  RegistryAccessor();  // acts live
  ~RegistryAccessor() = default;
  RegistryAccessor(const RegistryAccessor&) = delete;
  RegistryAccessor& operator=(const RegistryAccessor&) = delete;

  void SelectRoot(HKEY root);
  HKEY Root() const { return root_; }
  bool OpenExistingKey(const std::string& path);
  void CloseCurrentKey();
  bool HasOpenKey() const { return openKey_.Valid(); }
  // Refuses (false, nothing deleted) a path that names no key: empty, or only backslashes.
  bool DeleteKeyTree(const std::string& path);
  bool RemoveValue(const std::string& name);
  bool HasValue(const std::string& name);
  std::string ReadStringValue(const std::string& name);
  void WriteStringValue(const std::string& name, const std::string& text);
  // Readable name of the open key, e.g. "HKEY_CURRENT_USER\Software\X".
  std::string OpenKeyName() const { return openKeyName_; }

 private:
  bool DeleteTreeBelow(HKEY base, const std::string& subKey, const std::string& name);
  Effects& effects_;
  HKEY root_ = HKEY_CURRENT_USER;
  UniqueHKey openKey_;
  std::string openKeyName_;
};

std::string RootKeyName(HKEY root);
