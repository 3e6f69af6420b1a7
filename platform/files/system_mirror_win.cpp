#include <windows.h>

#include "platform/files/system_mirror.h"

#include "platform/handles.h"

namespace {

std::wstring FolderFrom(UINT(WINAPI* read)(LPWSTR, UINT)) {
  std::wstring folder(MAX_PATH, L'\0');
  UINT length = read(folder.data(), static_cast<UINT>(folder.size()));
  if (length >= folder.size()) {
    folder.resize(length);
    length = read(folder.data(), static_cast<UINT>(folder.size()));
  }
  folder.resize(length < folder.size() ? length : 0);
  return folder;
}

// A folder value of the machine's CurrentVersion key in the view given; empty when missing.
std::wstring CurrentVersionFolder(const wchar_t* value, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE | view,
                    &opened) != ERROR_SUCCESS) {
    return {};
  }
  const UniqueHKey key(opened);
  wchar_t data[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = MAX_PATH * sizeof(wchar_t);
  if (RegQueryValueExW(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  if (type == REG_SZ) return data;
  wchar_t expanded[MAX_PATH] = {};
  const DWORD length = ExpandEnvironmentStringsW(data, expanded, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? expanded : data;
}

bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

SystemMirror CurrentSystemMirror() {
  SystemMirror mirror{FolderFrom(GetSystemDirectoryW), {}};
  if (!RunsUnderWow64()) return mirror;
  const std::wstring windows = FolderFrom(GetWindowsDirectoryW);
  if (!windows.empty()) mirror.nativeFolder = windows + L"\\Sysnative";
  // The 32-bit view names the folders the program is told of; ProgramW6432Dir and
  // CommonW6432Dir name the 64-bit ones, and so do the first two in the 64-bit view (where
  // Wine writes only those).
  const struct {
    const wchar_t* folder;
    const wchar_t* twin;
  } pairs[] = {{L"CommonFilesDir", L"CommonW6432Dir"}, {L"ProgramFilesDir", L"ProgramW6432Dir"}};
  for (const auto& pair : pairs) {
    FolderTwin twin{CurrentVersionFolder(pair.folder, KEY_WOW64_32KEY), CurrentVersionFolder(pair.twin, KEY_WOW64_64KEY)};
    if (twin.twin.empty()) twin.twin = CurrentVersionFolder(pair.folder, KEY_WOW64_64KEY);
    if (twin.folder.empty() || twin.twin.empty() || CompareStringOrdinal(twin.folder.c_str(), -1, twin.twin.c_str(), -1, TRUE) == CSTR_EQUAL) {
      continue;
    }
    mirror.programFolders.push_back(std::move(twin));
  }
  return mirror;
}
