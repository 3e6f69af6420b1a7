#pragma once
// RuleTool check: what in a rule file would surprise its author, line by line.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rules/program_files_check.h"

struct Finding {
  std::size_t line;  // 1-based physical line, as the cleaner counts them
  std::string message;
};

// The findings for the stored bytes of a rule file, ordered by line. exists tells which paths
// are on the machine: a file or folder entry below one Program Files folder whose twin in the
// other one exists, and that no entry names, gets a finding.
std::vector<Finding> CheckRuleFile(std::string_view stored, const PathProbe& exists = MachinePathProbe());

// "line N: message"
std::string FormatFinding(const Finding& finding);
