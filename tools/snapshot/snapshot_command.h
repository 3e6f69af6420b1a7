#pragma once
// RuleTool snapshot FILE [--all-users] [--content] (the Windows build only).
#include <ostream>
#include <string>
#include <vector>

// The arguments after the command's name; returns the exit code.
int RunSnapshotCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
