#pragma once
// Registry seeding for tests: values set, removed and put back as they were.
#include <windows.h>

#include <optional>
#include <string>

// Creates the key when missing and stores a REG_SZ value ("" names the default value).
// view: 0 for this program's own registry view, else KEY_WOW64_64KEY or KEY_WOW64_32KEY.
void SeedStringValue(HKEY root, const std::string& key, const std::string& name, const std::string& text,
                     REGSAM view = 0);
void SeedDwordValue(HKEY root, const std::string& key, const std::string& name, DWORD value);
void SeedKey(HKEY root, const std::string& key, REGSAM view = 0);
bool KeyExistsForTest(HKEY root, const std::string& key, REGSAM view = 0);
bool ValueExistsForTest(HKEY root, const std::string& key, const std::string& name);
// The string data of a value, or nothing when the key or value is missing.
std::optional<std::string> StringValueForTest(HKEY root, const std::string& key, const std::string& name);
void RemoveValueForTest(HKEY root, const std::string& key, const std::string& name);
// Removes a key with everything below it (test cleanup only).
void RemoveKeyForTest(HKEY root, const std::string& key, REGSAM view = 0);

// Remembers one value (type and data, or its absence) and puts it back when destroyed.
class SavedRegistryValue {
 public:
  SavedRegistryValue(HKEY root, std::string key, std::string name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

 private:
  HKEY root_;
  std::string key_;
  std::string name_;
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::string data_;
};

// Removes a key tree when destroyed (and before, in case an earlier run left it).
class TemporaryKey {
 public:
  TemporaryKey(HKEY root, std::string key);
  ~TemporaryKey();
  TemporaryKey(const TemporaryKey&) = delete;
  TemporaryKey& operator=(const TemporaryKey&) = delete;
  const std::string& Path() const { return key_; }

 private:
  HKEY root_;
  std::string key_;
};
