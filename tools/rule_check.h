#pragma once
// RuleTool check: what in a rule file would surprise its author, line by line.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct Finding {
  std::size_t line;  // 1-based physical line, as the cleaner counts them
  std::string message;
};

// The findings for the stored bytes of a rule file, ordered by line.
std::vector<Finding> CheckRuleFile(std::string_view stored);

// "line N: message"
std::string FormatFinding(const Finding& finding);
