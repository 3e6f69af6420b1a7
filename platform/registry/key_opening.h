#pragma once
// Opening a key whose access list keeps the administrators out (a product that locks its keys
// to SYSTEM): as asked first; where that is denied, again with the backup/restore option,
// which the backup and restore privileges (enabled at start) let past any access list.
#include <windows.h>

#include <string>

#include "platform/handles.h"

// The registry's own open (RegOpenKeyExW's form); tests answer as Windows would.
using RawKeyOpen = LONG(WINAPI*)(HKEY base, LPCWSTR subKey, DWORD options, REGSAM rights, PHKEY key);

// ERROR_SUCCESS, or the code of the last open tried: a key that is not there, or any refusal
// other than access denied, is not tried again.
[[nodiscard]] LONG OpenKeyPastAccessList(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                                         UniqueHKey& key, RawKeyOpen open = RegOpenKeyExW);
