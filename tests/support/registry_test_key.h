#pragma once
// A key made for one test anywhere below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, with string
// values ("Sub\Key\Name" makes the subkeys first; a name ending in "\" is that subkey's default
// value), removed with everything below it afterwards.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct TestKey {
  HKEY root;
  std::wstring path;
  TestKey(HKEY keyRoot, std::wstring keyPath, const std::vector<std::pair<std::wstring, std::wstring>>& values,
          DWORD type = 0);
  ~TestKey();
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;
  bool Exists() const;
};
