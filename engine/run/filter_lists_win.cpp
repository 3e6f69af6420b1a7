#include <windows.h>

#include "engine/run/filter_lists_win.h"

#include <vector>

#include "engine/cleaner_context.h"
#include "engine/run/filter_lists.h"
#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/registry/registry_accessor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

// The names of the class keys below Control\Class.
std::vector<std::wstring> ClassKeys(const std::wstring& classes) {
  std::vector<std::wstring> names;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, classes.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &opened) != ERROR_SUCCESS) {
    return names;
  }
  const UniqueHKey key(opened);
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    const LONG code = RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

// The list's data when the key holds it as REG_MULTI_SZ.
bool ReadList(const std::wstring& keyPath, const wchar_t* value, std::vector<unsigned char>& data) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
  const UniqueHKey key(opened);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ) {
    return false;
  }
  data.assign(size, 0);
  return RegQueryValueExW(key.Get(), value, nullptr, &type, data.data(), &size) == ERROR_SUCCESS &&
         (data.resize(size), true);
}

}  // namespace

bool RemoveFromFilterLists(CleanerContext& context, const std::string& controlSet, const std::wstring& service) {
  const std::wstring classes = WideFromAnsi(controlSet) + L"\\Control\\Class";
  bool allTaken = true;
  for (const std::wstring& name : ClassKeys(classes)) {
    const std::wstring keyPath = classes + L"\\" + name;
    for (const wchar_t* list : {kUpperFilters, kLowerFilters}) {
      std::vector<unsigned char> data;
      if (!ReadList(keyPath, list, data)) continue;
      const auto without = WithoutFilter(data, service);
      if (!without) continue;
      RegistryAccessor accessor(context.effects);
      accessor.SelectRoot(HKEY_LOCAL_MACHINE);
      LONG code = accessor.OpenExistingKey(keyPath, KeyAccess::ChangeValues);
      if (code == ERROR_SUCCESS) code = accessor.WriteValue(list, RegistryValue{REG_MULTI_SZ, {without->begin(), without->end()}});
      if (code == ERROR_SUCCESS) continue;
      allTaken = false;
      if (static_cast<DWORD>(code) == kBackupRefusedCode) continue;  // listed by the backup
      AddInfo(context, kFilterStaysText + AnsiFromWide(service) + " - it could not be taken out of HKEY_LOCAL_MACHINE\\" +
                           AnsiFromWide(keyPath) + "\\" + AnsiFromWide(list) + ": " +
                           SystemErrorText(static_cast<unsigned long>(code)));
    }
  }
  return allTaken;
}
