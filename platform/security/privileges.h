#pragma once
// Privileges the cleaner's token holds but does not enable by default.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

// Opening any process whatever its security (services, other sessions).
inline constexpr const char* kDebugPrivilege = "SeDebugPrivilege";
// Reading and writing files and keys whatever their security.
inline constexpr const char* kBackupPrivilege = "SeBackupPrivilege";
inline constexpr const char* kRestorePrivilege = "SeRestorePrivilege";
// Making Administrators the owner of a key whatever its access list, where even the backup and
// restore privileges do not open it.
inline constexpr const char* kTakeOwnershipPrivilege = "SeTakeOwnershipPrivilege";
// Setting a service's failure action that restarts the computer.
inline constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";

// Enables the named privilege on the process token: ERROR_SUCCESS when it is enabled,
// ERROR_NOT_ALL_ASSIGNED when the token does not hold it, or the error of the call that failed.
[[nodiscard]] DWORD EnablePrivilege(const char* name);

// Enables each named privilege on the process token; one line per privilege that is not
// enabled ("NAME not enabled: why"), empty when all are.
std::vector<std::string> EnablePrivileges(std::initializer_list<const char*> names);

// Whether the process token holds the named privilege enabled.
bool PrivilegeEnabled(const char* name);
