#pragma once
// JSON string literals in plain ASCII: every character outside printable ASCII is written
// as a \u escape (a surrogate pair above U+FFFF), so the output means the same text in any
// console code page.
#include <string>
#include <string_view>

std::string JsonQuoted(std::u16string_view text);
