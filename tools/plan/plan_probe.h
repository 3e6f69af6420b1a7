#pragma once
// What a plan's targets look like now: files and folders (with the files below them), keys
// (with their subkeys), values, running processes. Reads only.
#include <windows.h>

#include <map>
#include <string>
#include <string_view>

#include "engine/rules/registry_entry.h"
#include "tools/plan/plan_report.h"

TargetState FileStateNow(const std::string& path);
TargetState FileStateNow(const std::wstring& path);
TargetState KeyStateNow(RegistryRoot root, const std::string& keyPath);
// view: 0 for the program's own registry view, or KEY_WOW64_64KEY.
TargetState KeyStateNow(RegistryRoot root, const std::wstring& keyPath, REGSAM view = 0);
// A readable key name as the gateway records it, "HKEY_LOCAL_MACHINE\Software\X" or
// "(64-bit view) HKEY_LOCAL_MACHINE\Software\X", in UTF-16 so that a name the ANSI code page
// cannot hold is found too.
TargetState KeyStateNow(std::wstring_view keyName);
TargetState ValueStateNow(RegistryRoot root, const std::string& keyPath, const std::string& valueName);
// Processes whose executable name equals the given one, letter case of a to z ignored.
TargetState ProcessStateNow(const std::string& exeName);

// Folders with the number of files anywhere below them; each folder is enumerated once.
// Paths in UTF-16, ordinary or extended form.
class FolderCounter {
 public:
  TargetState StateNow(const std::wstring& path);

 private:
  long long FilesBelow(const std::wstring& folder);
  std::map<std::wstring, long long> counted_;
};
