#include <windows.h>

#include "platform/effects.h"

#include "platform/service_control.h"

LiveEffects& LiveEffects::Instance() {
  static LiveEffects instance;
  return instance;
}

namespace {
DWORD Outcome(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

// The system's own reason behind the last error: a delete-pending file and a file the ACL
// protects both answer ERROR_ACCESS_DENIED, but only the first holds STATUS_DELETE_PENDING.
bool LastFailureWasDeletePending() {
  constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);
  using LastStatus = LONG(WINAPI*)();
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto read = ntdll ? reinterpret_cast<LastStatus>(
                                reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetLastNtStatus")))
                          : nullptr;
  return read != nullptr && read() == kStatusDeletePending;
}
}  // namespace

DWORD LiveEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
  return Outcome(SetFileAttributesW(path.c_str(), attributes));
}
DWORD LiveEffects::RemoveFile(const std::wstring& path) {
  const DWORD error = Outcome(DeleteFileW(path.c_str()));
  return error == ERROR_ACCESS_DENIED && LastFailureWasDeletePending() ? ERROR_DELETE_PENDING : error;
}
DWORD LiveEffects::RemoveEmptyFolder(const std::wstring& path) { return Outcome(RemoveDirectoryW(path.c_str())); }
DWORD LiveEffects::DeleteAtRestart(const std::wstring& path) {
  return Outcome(MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}
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
DWORD LiveEffects::StopService(SC_HANDLE service, const std::string&) { return StopServiceAndWait(service); }
