#pragma once
// Text rules of the folder field that need no window: where the folder browser starts,
// how its answer is trimmed, and the text of a failed Win32 call.
#include <functional>
#include <string>

// The field's text; when empty the remembered folder, or `\` when none is remembered.
// Anything that is not an existing folder is replaced by `\`.
std::string BrowseStartFolder(const std::string& text, const std::string& remembered,
                              const std::function<bool(const std::string&)>& isExistingFolder);

// Removes one trailing `\`, except from a drive root such as "C:\".
std::string WithoutTrailingBackslash(std::string path);

// "Win32 Error.  Code: %d.\n%s" with the system's text for the code; trailing blanks and
// line breaks of that text are cut, and "A Win32 API function failed" stands in for it when
// there is no code.
std::string Win32ErrorText(unsigned long code, std::string systemText);
