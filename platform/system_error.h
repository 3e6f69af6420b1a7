#pragma once
// The system's own words for an error code, for the lines that say why something stayed.
#include <string>

// "error 5: Access is denied" (FormatMessage's text in the ANSI code page, without its line
// end and full stop); "error N" alone when the system has no text for the code.
std::string SystemErrorText(unsigned long code);
