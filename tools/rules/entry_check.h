#pragma once
// What the cleaner will do with one section entry that its author may not expect: entries
// that name nothing, unrecognised root names, placeholders it does not expand, entries it
// refuses. Entries are judged as written, with placeholders standing for the folders of a
// usual installation.
#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/rule_sections.h"

// The messages for one entry (descrambled, placeholders as written), without line numbers.
// Blank lines are separators and have none.
std::vector<std::string> CheckEntry(RuleSectionKind kind, std::string_view entry);

// Placeholders written in another letter case, which stay in the line as they are, and
// placeholders written more than once, of which only the first is replaced.
std::vector<std::string> CheckPlaceholders(std::string_view entry);
