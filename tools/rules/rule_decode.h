#pragma once
// RuleTool decode: the text of a rule file as its author wrote it.
#include <ostream>

#include "platform/files/line_reader.h"

// Writes every line of the rule file descrambled, placeholders as written, each followed
// by "\n"; with numbered, each line is preceded by its line number and ": ". The bytes
// go out unchanged (text in the ANSI code page).
void DecodeRules(LineSource& rules, bool numbered, std::ostream& out);
