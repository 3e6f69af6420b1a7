#pragma once
// The code page of rule text. Rule files are written in Windows-1251 (as the Startup shortcut
// names are), and the program holds text in the system's ANSI code page. Where that is UTF-8
// (65001, Windows' "UTF-8 for non-Unicode programs"), a Windows-1251 byte above 127 is no
// UTF-8 and would read as U+FFFD, matching no file or key: such lines are recoded.
#include <optional>
#include <string>
#include <string_view>

inline constexpr unsigned kUtf8CodePage = 65001;
inline constexpr unsigned kRuleFileCodePage = 1251;

// Whether rule lines must be recoded from Windows-1251 under this ANSI code page.
bool RuleTextNeedsRecoding(unsigned ansiCodePage);

// Windows-1251 text as UTF-8, byte for byte as Windows' own table reads it (the one byte the
// code page leaves undefined, 0x98, as U+0098).
std::string Utf8FromWindows1251(std::string_view text);

// The Windows-1251 byte of one UTF-16 unit; nothing when the code page has none.
std::optional<char> Windows1251ByteOf(wchar_t unit);

// The other way, for the rule tool: UTF-8 text as Windows-1251; nothing when a character has
// no byte in the code page (U+0098 included: the code page leaves 0x98 undefined).
std::optional<std::string> Windows1251FromUtf8(std::string_view text);

// The trace line of a run that recodes its rule lines.
inline constexpr char kRuleTextRecodedTrace[] =
    "ANSI code page 65001 (UTF-8): rule lines are read as Windows-1251";
