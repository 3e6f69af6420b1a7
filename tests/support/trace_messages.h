#pragma once
// Reads a trace log back for tests.
#include <string>
#include <vector>

// The messages of a trace log file, each line's time stamp and the three blanks cut off.
std::vector<std::string> TraceMessages(const std::string& path);
