#include "tests/support/seeded_registry.h"

#include <windows.h>

#include <stdexcept>
#include <utility>

#include "platform/handles.h"

namespace {

UniqueHKey CreateKeyForTest(HKEY root, const std::string& key, REGSAM view = 0) {
  UniqueHKey handle;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, handle.Put(), nullptr) !=
      ERROR_SUCCESS) {
    throw std::runtime_error("cannot create key " + key);
  }
  return handle;
}

UniqueHKey OpenKeyForTest(HKEY root, const std::string& key, REGSAM view = 0) {
  UniqueHKey handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS | view, handle.Put()) != ERROR_SUCCESS) return {};
  return handle;
}

void SetRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data,
            REGSAM view = 0) {
  UniqueHKey handle = CreateKeyForTest(root, key, view);
  if (RegSetValueExA(handle.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot set value " + name);
  }
}

bool ReadRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type, std::string& data) {
  UniqueHKey handle = OpenKeyForTest(root, key);
  if (!handle) return false;
  DWORD size = 0;
  if (RegQueryValueExA(handle.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  data.assign(size, '\0');
  if (size > 0 && RegQueryValueExA(handle.Get(), name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  return true;
}

}  // namespace

void SeedStringValue(HKEY root, const std::string& key, const std::string& name, const std::string& text,
                     REGSAM view) {
  SetRaw(root, key, name, REG_SZ, text + std::string(1, '\0'), view);
}

void SeedDwordValue(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  SetRaw(root, key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void SeedKey(HKEY root, const std::string& key, REGSAM view) { CreateKeyForTest(root, key, view); }

bool KeyExistsForTest(HKEY root, const std::string& key, REGSAM view) {
  return OpenKeyForTest(root, key, view).Valid();
}

bool ValueExistsForTest(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0;
  std::string data;
  return ReadRaw(root, key, name, type, data);
}

std::optional<std::string> StringValueForTest(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0;
  std::string data;
  if (!ReadRaw(root, key, name, type, data)) return std::nullopt;
  const auto end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  return data;
}

void RemoveValueForTest(HKEY root, const std::string& key, const std::string& name) {
  UniqueHKey handle = OpenKeyForTest(root, key);
  if (handle) RegDeleteValueA(handle.Get(), name.c_str());
}

void RemoveKeyForTest(HKEY root, const std::string& key, REGSAM view) {
  {
    UniqueHKey handle = OpenKeyForTest(root, key, view);
    if (!handle) return;
    char name[256];
    for (;;) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(handle.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      const std::string child = key + "\\" + name;
      RemoveKeyForTest(root, child, view);
      if (KeyExistsForTest(root, child, view)) break;
    }
  }
  RegDeleteKeyExA(root, key.c_str(), view, 0);
}

SavedRegistryValue::SavedRegistryValue(HKEY root, std::string key, std::string name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
  existed_ = ReadRaw(root_, key_, name_, type_, data_);
}

SavedRegistryValue::~SavedRegistryValue() {
  try {
    if (existed_) {
      SetRaw(root_, key_, name_, type_, data_);
    } else {
      RemoveValueForTest(root_, key_, name_);
    }
  } catch (const std::exception&) {
    // Nothing more can be done in a destructor; the next test sees the difference.
  }
}

TemporaryKey::TemporaryKey(HKEY root, std::string key) : root_(root), key_(std::move(key)) {
  RemoveKeyForTest(root_, key_);
}

TemporaryKey::~TemporaryKey() { RemoveKeyForTest(root_, key_); }
