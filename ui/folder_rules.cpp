#include "ui/folder_rules.h"

#include <cstdio>

std::string BrowseStartFolder(const std::string& text, const std::string& remembered,
                              const std::function<bool(const std::string&)>& isExistingFolder) {
  std::string start = text;
  if (start.empty()) start = remembered.empty() ? std::string("\\") : remembered;
  if (!isExistingFolder(start)) start = "\\";
  return start;
}

std::string WithoutTrailingBackslash(std::string path) {
  const bool driveRoot = path.size() == 3 && path[1] == ':' && path[2] == '\\' &&
                         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (!driveRoot && !path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string Win32ErrorText(unsigned long code, std::string systemText) {
  while (!systemText.empty() && static_cast<unsigned char>(systemText.back()) <= ' ') {
    systemText.pop_back();
  }
  if (code == 0) systemText = "A Win32 API function failed";
  char head[64];
  std::snprintf(head, sizeof head, "Win32 Error.  Code: %d.\n", static_cast<int>(code));
  return head + systemText;
}
