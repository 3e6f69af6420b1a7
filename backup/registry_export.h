#pragma once
// Text in the format regedit imports ("Windows Registry Editor Version 5.00"), so that an
// administrator can put a backed-up key back by hand. Each value keeps its exact type and
// bytes: strings that survive the quoted form are written quoted, everything else as hex(N).
// The caller writes the text as UTF-16 LE with a byte order mark.
#include <string>
#include <vector>

#include "backup/backup_journal.h"

// "Windows Registry Editor Version 5.00" and a blank line, with CRLF line ends.
std::wstring RegistryExportHeader();

// "[KEY]" then one line per value ("@" for the default value), then a blank line. keyName
// starts with HKEY_LOCAL_MACHINE or HKEY_USERS (or another root's full name).
std::wstring RegistryExportKey(const std::wstring& keyName, const std::vector<SavedValue>& values);
