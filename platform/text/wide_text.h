#pragma once
// The program's one converter between text in a code page (the ANSI code page unless one is
// named), UTF-16 and UTF-8. Rule, settings and trace files hold ANSI text; file, folder and
// registry calls take UTF-16; the plan's JSON is UTF-8.
#include <optional>
#include <string>
#include <string_view>

// CP_ACP: the system's ANSI code page.
inline constexpr unsigned kAnsiCodePage = 0;

// Every byte sequence converts; a byte the code page does not define becomes U+FFFD or the
// code page's own stand-in, as MultiByteToWideChar decides.
std::wstring WideFromAnsi(std::string_view text, unsigned codePage = kAnsiCodePage);
// As close as the code page allows: a character it cannot hold becomes "?", never a
// look-alike. For display only: such text may not name the same file again.
std::string AnsiFromWide(std::wstring_view text, unsigned codePage = kAnsiCodePage);
// The text in the ANSI code page only where the code page holds every character of it: a
// path converted any other way would name another file.
std::optional<std::string> ExactAnsiFromWide(std::wstring_view text);
// UTF-8 text for messages, which are held in the ANSI code page: "?" for what it cannot hold.
std::string AnsiFromUtf8(std::string_view text);
// UTF-16 units to UTF-8 (on hosts whose wchar_t holds whole code points, those too); an
// unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
// UTF-8 to UTF-16 units (on every host too: a character outside the first plane becomes a
// surrogate pair, so the units are the same as on Windows). Each ill-formed part (a stray
// or missing continuation byte, an overlong form, an encoded surrogate, a value above
// U+10FFFF) becomes one U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
