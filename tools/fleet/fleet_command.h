#pragma once
// RuleTool fleet: one summary of many machines' run reports. Exit code 0 when every report
// was read (and, with an expect list, every machine reported), 1 when some report could not
// be read or some machine never reported, 2 when the command line is wrong or an output
// cannot be written.
#include <ostream>
#include <string>
#include <vector>

inline constexpr char kFleetUsage[] =
    "RuleTool fleet DIR_OR_FILES... [--expect FILE] [-o OUT_DIR] [--csv FILE] [--html FILE]";

int RunFleetCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
