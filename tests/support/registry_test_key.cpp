#include "tests/support/registry_test_key.h"

#include <gtest/gtest.h>

#include "platform/handles.h"

TestKey::TestKey(HKEY keyRoot, std::wstring keyPath, const std::vector<std::pair<std::wstring, std::wstring>>& values,
                 DWORD type)
    : root(keyRoot), path(std::move(keyPath)) {
  UniqueHKey key;
  EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr), ERROR_SUCCESS);
  for (const auto& [name, text] : values) {
    const auto slash = name.rfind(L'\\');
    UniqueHKey sub;
    HKEY target = key.Get();
    if (slash != std::wstring::npos) {
      EXPECT_EQ(RegCreateKeyExW(key.Get(), name.substr(0, slash).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Put(),
                                nullptr),
                ERROR_SUCCESS);
      target = sub.Get();
    }
    const std::wstring valueName = slash == std::wstring::npos ? name : name.substr(slash + 1);
    RegSetValueExW(target, valueName.empty() ? nullptr : valueName.c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>((text.size() + 1) * 2));
  }
  if (type != 0) RegSetValueExW(key.Get(), L"Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof(type));
}

TestKey::~TestKey() { RegDeleteTreeW(root, path.c_str()); }

bool TestKey::Exists() const {
  UniqueHKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}
