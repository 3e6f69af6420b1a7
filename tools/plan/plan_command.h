#pragma once
// RuleTool plan: the dry run of the cleaner on this machine. Only the Windows build has it.
#include <ostream>
#include <string>
#include <vector>

// The arguments after "plan"; returns the exit code.
int RunPlanCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
