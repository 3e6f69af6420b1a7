#pragma once
// The registry trees the benchmarks delete, made under HKEY_CURRENT_USER: the 10,000-key tree
// of an uninstalled product (one top key, 99 middle keys, 100 leaves under each, three values
// in every key) and the pieces it is made of.
#include <windows.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/handles.h"

namespace bench {

inline constexpr int kMiddleKeys = 99;
inline constexpr int kLeavesPerMiddle = 100;
inline constexpr int kKeysInTree = 1 + kMiddleKeys + kMiddleKeys * kLeavesPerMiddle;

// A text, a number and 16 bytes, as a product's component keys hold them.
inline void SetValues(HKEY key, int number) {
  const std::string text = "C:\\Program Files\\Velmora\\QRV\\module" + std::to_string(number) + ".dll";
  const DWORD dword = static_cast<DWORD>(number);
  const BYTE binary[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  if (RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS ||
      RegSetValueExA(key, "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword) !=
          ERROR_SUCCESS ||
      RegSetValueExA(key, "Signature", 0, REG_BINARY, binary, sizeof binary) != ERROR_SUCCESS) {
    Fail("cannot set values");
  }
}

inline UniqueHKey CreateKey(HKEY parent, const std::string& name) {
  UniqueHKey key;
  if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) !=
      ERROR_SUCCESS) {
    Fail("cannot create " + name);
  }
  return key;
}

// path below HKEY_CURRENT_USER.
inline void BuildTree(const std::string& path) {
  const UniqueHKey top = CreateKey(HKEY_CURRENT_USER, path);
  SetValues(top.Get(), 0);
  int number = 1;
  for (int m = 0; m < kMiddleKeys; ++m) {
    const UniqueHKey middle = CreateKey(top.Get(), "Component" + std::to_string(m));
    SetValues(middle.Get(), number++);
    for (int l = 0; l < kLeavesPerMiddle; ++l) {
      const UniqueHKey leaf = CreateKey(middle.Get(), "{" + std::to_string(l) + "-4A1B-11D3-9C2E-QRV}");
      SetValues(leaf.Get(), number++);
    }
  }
  if (number != kKeysInTree) Fail("tree has the wrong size");
}

// The keys of BuildTree's tree below its top, each before the key above it: the order in which
// a loop that knows every name in advance deletes them.
inline std::vector<std::string> TreeKeyNames() {
  std::vector<std::string> names;
  for (int m = kMiddleKeys - 1; m >= 0; --m) {
    const std::string middle = "Component" + std::to_string(m);
    for (int l = kLeavesPerMiddle - 1; l >= 0; --l) names.push_back(middle + "\\{" + std::to_string(l) + "-4A1B-11D3-9C2E-QRV}");
    names.push_back(middle);
  }
  return names;
}

inline bool KeyExists(const std::string& path) {
  UniqueHKey key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

}  // namespace bench
