#include <windows.h>

#include "platform/registry/registry_views.h"

bool RunsOn64BitWindows() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
