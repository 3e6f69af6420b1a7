#pragma once
// The one conversion between the text of the rule and settings files (the ANSI code page)
// and the UTF-16 of the wide Windows calls; UTF-8 for JSON.
#include <string>
#include <string_view>

// ANSI code page text in UTF-16 (every byte sequence has a form; nothing is dropped).
std::wstring WideFromAnsi(std::string_view text);
// UTF-16 in the ANSI code page, for lines people read: a character the code page cannot hold
// becomes '?', never a best-fit look-alike such as '.' for a fullwidth full stop.
std::string AnsiFromWide(std::wstring_view text);
std::string Utf8FromWide(std::wstring_view text);
