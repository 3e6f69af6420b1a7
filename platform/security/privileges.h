#pragma once
// Privileges the cleaner's token holds but does not enable by default.
#include <windows.h>

// Opening any process whatever its security (services, other sessions).
inline constexpr const char* kDebugPrivilege = "SeDebugPrivilege";
// Reading and writing files and keys whatever their security.
inline constexpr const char* kBackupPrivilege = "SeBackupPrivilege";
inline constexpr const char* kRestorePrivilege = "SeRestorePrivilege";

// Enables the named privilege on the process token: ERROR_SUCCESS when it is enabled,
// ERROR_NOT_ALL_ASSIGNED when the token does not hold it, or the error of the call that failed.
[[nodiscard]] DWORD EnablePrivilege(const char* name);
