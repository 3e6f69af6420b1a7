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
  return mirror;
}
