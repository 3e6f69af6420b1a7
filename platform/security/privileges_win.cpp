#include <windows.h>

#include "platform/security/privileges.h"

#include "platform/handles.h"
#include "platform/system_error.h"

DWORD EnablePrivilege(const char* name) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put())) {
    return GetLastError();
  }
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid)) return GetLastError();
  // The call succeeds also when the token lacks the privilege; only the last error tells.
  SetLastError(ERROR_SUCCESS);
  if (!AdjustTokenPrivileges(token.Get(), FALSE, &wanted, 0, nullptr, nullptr)) return GetLastError();
  return GetLastError();
}

std::vector<std::string> EnablePrivileges(std::initializer_list<const char*> names) {
  std::vector<std::string> lines;
  for (const char* name : names) {
    if (const DWORD error = EnablePrivilege(name); error != ERROR_SUCCESS) {
      lines.push_back(std::string(name) + " not enabled: " + SystemErrorText(error));
    }
  }
  return lines;
}

bool PrivilegeEnabled(const char* name) {
  LUID wanted{};
  if (!LookupPrivilegeValueA(nullptr, name, &wanted)) return false;
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
  DWORD size = 0;
  (void)GetTokenInformation(token.Get(), TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(), size, &size)) return false;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& held = privileges->Privileges[i];
    if (held.Luid.LowPart == wanted.LowPart && held.Luid.HighPart == wanted.HighPart) {
      return (held.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  return false;
}
