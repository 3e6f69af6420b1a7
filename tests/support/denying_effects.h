#pragma once
// The live gateway with refusals Wine cannot make (it runs everything as an administrator):
// ERROR_ACCESS_DENIED for the keys and values named (full names as the accessor gives them,
// values as "<key>\<name>"), and for any open that asks for a right beyond `granted`.
#include <windows.h>

#include <set>
#include <string>

#include "platform/effects.h"

class DenyingEffects : public LiveEffects {
 public:
  std::set<std::wstring> lockedKeys;    // not deleted: a key a self-protecting product locked
  std::set<std::wstring> closedKeys;    // not opened: a key the user has no rights on
  std::set<std::wstring> lockedValues;  // neither deleted nor written
  // Never WRITE_DAC or WRITE_OWNER, which only an owner or an administrator is given.
  REGSAM granted = KEY_READ | DELETE | KEY_SET_VALUE;

  LONG OpenRegistryKey(HKEY base, const std::wstring& sub, DWORD options, REGSAM rights, const std::wstring& name,
                       UniqueHKey& key) override {
    if (closedKeys.contains(name) || (rights & ~(granted | KEY_WOW64_RES)) != 0) return ERROR_ACCESS_DENIED;
    return LiveEffects::OpenRegistryKey(base, sub, options, rights, name, key);
  }
  // A product's self-protection refuses a new owner as it refuses everything else.
  LONG TakeKeyOwnership(HKEY base, const std::wstring& sub, REGSAM view, const std::wstring& name) override {
    if (lockedKeys.contains(name) || closedKeys.contains(name)) return ERROR_ACCESS_DENIED;
    return LiveEffects::TakeKeyOwnership(base, sub, view, name);
  }
    LONG DeleteRegistryKey(HKEY base, const std::wstring& sub, REGSAM view, const std::wstring& name) override {
    return lockedKeys.contains(name) ? ERROR_ACCESS_DENIED : LiveEffects::DeleteRegistryKey(base, sub, view, name);
  }
  LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& sub, REGSAM view,
                             const std::wstring& name) override {
    return lockedKeys.contains(name) ? ERROR_ACCESS_DENIED : LiveEffects::DeleteOpenRegistryKey(key, base, sub, view, name);
  }
  LONG DeleteRegistryValue(HKEY key, const std::wstring& value, const std::wstring& name) override {
    if (lockedValues.contains(name + L"\\" + value)) return ERROR_ACCESS_DENIED;
    return LiveEffects::DeleteRegistryValue(key, value, name);
  }
  LONG WriteRegistryValue(HKEY key, const std::wstring& value, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& name) override {
    if (lockedValues.contains(name + L"\\" + value)) return ERROR_ACCESS_DENIED;
    return LiveEffects::WriteRegistryValue(key, value, type, data, name);
  }
};
