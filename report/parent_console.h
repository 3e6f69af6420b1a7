#pragma once
// Text for whoever started the program: its standard output when that leads somewhere (a
// pipe or file of a deployment agent), else the console of the parent process. A Windows
// program has neither of its own.
#include <string>

// False when there is no such place; the caller shows a box instead (unless quiet).
bool WriteToParent(const std::string& text);
