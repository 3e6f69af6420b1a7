#include <windows.h>

#include "platform/registry/key_opening.h"

LONG OpenKeyPastAccessList(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights, UniqueHKey& key,
                           RawKeyOpen open) {
  HKEY opened = nullptr;
  LONG code = open(base, subKey.c_str(), options, rights, &opened);
  // RegOpenKeyExW hands its options to the kernel's open, which takes REG_OPTION_BACKUP_RESTORE
  // as the remote registry's BaseRegOpenKey documents it: the rights asked for are then those
  // the two privileges give (reading, writing, deleting), whatever the access list says. The
  // view asked for still applies.
  if (code == ERROR_ACCESS_DENIED) {
    code = open(base, subKey.c_str(), options | REG_OPTION_BACKUP_RESTORE, rights, &opened);
  }
  if (code == ERROR_SUCCESS) key = UniqueHKey(opened);
  return code;
}
