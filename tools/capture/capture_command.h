#pragma once
// RuleTool capture BEFORE AFTER -o RULES.txt [--baseline B2].
#include <ostream>
#include <string>
#include <vector>

// The arguments after the command's name; returns the exit code.
int RunCaptureCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
