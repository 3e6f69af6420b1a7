#include <windows.h>

#include "platform/effects.h"

LiveEffects& LiveEffects::Instance() {
  static LiveEffects instance;
  return instance;
}

bool LiveEffects::SetAttributes(const std::string& path, DWORD attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != 0;
}
bool LiveEffects::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
bool LiveEffects::RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}
bool LiveEffects::SetAttributesWide(const std::wstring& path, DWORD attributes) {
  return SetFileAttributesW(path.c_str(), attributes) != 0;
}
bool LiveEffects::RemoveFileWide(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }
LONG LiveEffects::OpenRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring&,
                                  UniqueHKey& key) {
  HKEY opened = nullptr;
  const LONG code = RegOpenKeyExW(base, subKey.c_str(), 0, rights, &opened);
  if (code == ERROR_SUCCESS) key = UniqueHKey(opened);
  return code;
}
LONG LiveEffects::DeleteRegistryKey(HKEY base, const std::wstring& subKey, const std::wstring&) {
  return RegDeleteKeyW(base, subKey.c_str());
}
LONG LiveEffects::DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring&) {
  return RegDeleteValueW(key, valueName.c_str());
}
LONG LiveEffects::WriteRegistryString(HKEY key, const std::wstring& valueName, const std::wstring& text,
                                      const std::wstring&) {
  // The text's characters and one NUL.
  return RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
bool LiveEffects::EndProcess(HANDLE process, UINT exitCode, const std::string&) {
  return TerminateProcess(process, exitCode) != 0;
}
