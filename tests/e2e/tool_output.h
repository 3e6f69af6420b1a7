#pragma once
// A console program run in a folder, with everything it writes to its standard output.
#include <windows.h>

#include <string>

struct ToolRun {
  DWORD exitCode = 0;
  std::string output;  // CR LF line ends read as LF
};

ToolRun RunCapturingOutput(const std::string& exe, const std::string& arguments, const std::string& folder);
