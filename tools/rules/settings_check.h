#pragma once
// RuleTool check on a settings file: the cleaner's own reading of "QRV_RC.INI", with each line
// that does not read as written, and the error that would end start-up, by line number.
#include <string>
#include <string_view>
#include <vector>

#include "tools/rules/rule_check.h"

// A file named "QRV_RC.INI" (any letter case), or one whose lines hold a settings header.
bool IsSettingsFile(const std::string& path, std::string_view stored);

std::vector<Finding> CheckSettingsFile(std::string_view stored);
