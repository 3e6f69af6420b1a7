#include <windows.h>

#include "platform/system_mirror.h"

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

// A folder value of the machine's CurrentVersion key in the view given, expanded; empty when missing.
std::wstring CurrentVersionFolder(const wchar_t* value, REGSAM view) {
  wchar_t data[MAX_PATH] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", value,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | (view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY : RRF_SUBKEY_WOW6432KEY),
                   nullptr, data, &size) != ERROR_SUCCESS) {
    return {};
  }
  return data;
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
  // CommonW6432Dir name the 64-bit ones.
  const struct {
    const wchar_t* folder;
    const wchar_t* twin;
  } pairs[] = {{L"CommonFilesDir", L"CommonW6432Dir"}, {L"ProgramFilesDir", L"ProgramW6432Dir"}};
  for (const auto& pair : pairs) {
    FolderTwin twin{CurrentVersionFolder(pair.folder, KEY_WOW64_32KEY), CurrentVersionFolder(pair.twin, KEY_WOW64_64KEY)};
    if (twin.folder.empty() || twin.twin.empty() || CompareStringOrdinal(twin.folder.c_str(), -1, twin.twin.c_str(), -1, TRUE) == CSTR_EQUAL) {
      continue;
    }
    mirror.programFolders.push_back(std::move(twin));
  }
  return mirror;
}
