#include <windows.h>

#include "platform/effects.h"

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
LONG LiveEffects::DeleteRegistryKey(HKEY base, const std::string& subKey, const std::string&) {
  return RegDeleteKeyA(base, subKey.c_str());
}
LONG LiveEffects::DeleteRegistryValue(HKEY key, const std::string& valueName, const std::string&) {
  return RegDeleteValueA(key, valueName.c_str());
}
LONG LiveEffects::WriteRegistryString(HKEY key, const std::string& valueName, const std::string& text,
                                      const std::string&) {
  // The text's bytes and one NUL.
  return RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}
bool LiveEffects::EndProcess(HANDLE process, UINT exitCode, const std::string&) {
  return TerminateProcess(process, exitCode) != 0;
}
