#pragma once
// The rule tool's commands: decode, encode, check, plan, snapshot, capture and fleet. Exit codes: 0
// done (check and encode: clean), 1 check or encode found something or encode refused the
// text, 2 a file could not be read or written, or the command line is wrong; plan has its own
// (plan_report.h).
#include <ostream>
#include <string>
#include <vector>

inline constexpr int kToolDone = 0;
inline constexpr int kToolFindings = 1;
inline constexpr int kToolFailed = 2;

// The arguments after the program's name.
int RunRuleTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
