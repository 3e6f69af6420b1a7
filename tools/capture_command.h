#pragma once
// RuleTool capture BEFORE AFTER -o RULES.txt [--baseline B2] and RuleTool snapshot FILE
// [--all-users] (the Windows build only).
#include <ostream>
#include <string>
#include <vector>

// The arguments after the command's name; each returns the exit code.
int RunCaptureCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int RunSnapshotCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
