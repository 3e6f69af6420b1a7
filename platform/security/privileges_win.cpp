#include <windows.h>

#include "platform/security/privileges.h"

#include "platform/handles.h"

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
