#pragma once
// RuleTool encode: a rule file from a readable text.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The lines of a readable text: a line ends at LF, CR LF or CR; a last line without a
// line end counts as a line, an empty text has none.
std::vector<std::string> SplitTextLines(std::string_view text);

// A byte the rule format cannot store (196 to 226), with its 1-based line and column.
struct UnstorableByte {
  std::size_t line;
  std::size_t column;
  unsigned char byte;
};

// "line 3, column 7: byte 200 cannot be stored in a rule file"
std::string DescribeUnstorableByte(const UnstorableByte& found);

struct EncodedRules {
  std::string stored;                   // every line scrambled and ended with CR LF
  std::vector<UnstorableByte> refused;  // the first such byte of every line that has one
  bool looksLikeUtf8 = false;           // the text holds UTF-8 sequences of non-ASCII letters
};

// Scrambles every line of the text. When refused is not empty, stored must not be written.
EncodedRules EncodeRuleText(std::string_view text);
