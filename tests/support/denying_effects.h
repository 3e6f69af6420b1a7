#pragma once
// The live gateway with the refusals of a Windows machine that Wine cannot make (Wine runs
// everything as an administrator): it answers ERROR_ACCESS_DENIED for the keys and values
// named, and for any open that asks for a right the key does not grant.
#include <windows.h>

#include <set>
#include <string>

#include "platform/effects.h"

class DenyingEffects : public LiveEffects {
 public:
  // Readable full names, as the accessor gives them: "HKEY_CURRENT_USER\Software\X", and for
  // values "<key>\<value name>".
  std::set<std::wstring> lockedKeys;    // deletion refused: a key a self-protecting product locked
  std::set<std::wstring> closedKeys;    // every open refused: a key the user has no rights on
  std::set<std::wstring> lockedValues;  // deletion and writing refused
  // What every other key grants: reading, deleting, changing values; not WRITE_DAC or WRITE_OWNER,
  // which only an owner or an administrator is given.
  REGSAM granted = KEY_READ | DELETE | KEY_SET_VALUE;

  LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                       UniqueHKey& key) override {
    if (closedKeys.contains(keyName) || (rights & ~granted) != 0) return ERROR_ACCESS_DENIED;
    return LiveEffects::OpenRegistryKey(base, subKey, rights, keyName, key);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, const std::wstring& keyName) override {
    if (lockedKeys.contains(keyName)) return ERROR_ACCESS_DENIED;
    return LiveEffects::DeleteRegistryKey(base, subKey, keyName);
  }
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override {
    if (lockedValues.contains(keyName + L"\\" + valueName)) return ERROR_ACCESS_DENIED;
    return LiveEffects::DeleteRegistryValue(key, valueName, keyName);
  }
  LONG WriteRegistryString(HKEY key, const std::wstring& valueName, const std::wstring& text,
                           const std::wstring& keyName) override {
    if (lockedValues.contains(keyName + L"\\" + valueName)) return ERROR_ACCESS_DENIED;
    return LiveEffects::WriteRegistryString(key, valueName, text, keyName);
  }
};
