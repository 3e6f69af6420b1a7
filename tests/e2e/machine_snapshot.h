#pragma once
// Everything a cleaning run may change, as it stands at one moment: the files and folders
// below the folders the product installs into, the keys and values below the registry
// places its rules name, and the running processes. Names are upper-cased UTF-16 so they
// compare as Windows compares them.
#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "platform/text/wide_text.h"

struct MachineSnapshot {
  std::set<std::wstring> files;
  std::set<std::wstring> folders;
  std::set<std::wstring> keys;                     // "HKEY_CURRENT_USER\SOFTWARE\..."
  std::map<std::wstring, std::wstring> values;     // key "\" value name -> type and data
  std::set<std::pair<DWORD, std::wstring>> processes;  // id and executable name

  bool operator==(const MachineSnapshot&) const = default;
};

// Program Files (with Common Files), the common Start Menu programs, both Startup folders,
// HKEY_LOCAL_MACHINE\Software\VelmoraLab, HKEY_CURRENT_USER\Software but Wine's own key,
// the process table.
MachineSnapshot TakeMachineSnapshot();

std::wstring UpperWide(std::wstring text);

// What went between two snapshots.
struct MachineChanges {
  std::set<std::wstring> filesRemoved, foldersRemoved, keysRemoved;
  std::set<std::wstring> valuesRemoved;  // of keys that are still there
  std::set<std::wstring> valuesWritten;  // new or with other data
  std::set<std::wstring> processesEnded;  // executable names
  std::set<std::wstring> added;          // files, folders, keys that appeared
};
MachineChanges ChangesBetween(const MachineSnapshot& before, const MachineSnapshot& after);
