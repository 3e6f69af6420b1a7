#pragma once
// UTF-8 text to Windows-1251, the code page rule files are written in, on every host.
#include <optional>
#include <string>
#include <string_view>

// Nothing when a character has no Windows-1251 byte.
std::optional<std::string> Windows1251FromUtf8(std::string_view text);
// For remarks: every character without a byte, and every byte a rule line cannot store
// (196 to 226), becomes "?".
std::string StorableRemark(std::string_view text);
