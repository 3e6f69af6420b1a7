#include <windows.h>

#include "engine/rules/registry_entry_win.h"

HKEY RootKeyOf(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}
