#pragma once
// Whole-file reading and replacing for the rule tool. Failures raise EInOutError.
#include <string>
#include <string_view>

std::string ReadWholeFile(const std::string& path);

// Writes the bytes to a new file beside the target and then puts it in the target's place,
// so a failure never leaves a half-written target behind.
void ReplaceFile(const std::string& path, std::string_view bytes);
