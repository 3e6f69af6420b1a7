#include "tools/rules/rule_encode.h"

#include "engine/rules/rule_file.h"
#include "platform/text/text_rules.h"

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string DescribeUnstorableByte(const UnstorableByte& found) {
  return "line " + IntToText(static_cast<long long>(found.line)) + ", column " +
         IntToText(static_cast<long long>(found.column)) + ": byte " + IntToText(found.byte) +
         " cannot be stored in a rule file";
}

namespace {

// True when the text is well-formed UTF-8 and holds at least one multi-byte sequence: such a
// text was saved in the wrong encoding (rule files hold ANSI text).
bool LooksLikeUtf8(std::string_view text) {
  bool multiByte = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    } else if (lead >= 0x80) {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < 0x80 || next > 0xBF) return false;
    }
    multiByte = multiByte || length > 1;
    i += length;
  }
  return multiByte;
}

}  // namespace

EncodedRules EncodeRuleText(std::string_view text) {
  EncodedRules result;
  const std::vector<std::string> lines = SplitTextLines(text);
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string& line = lines[index];
    if (const std::size_t column = FirstUnstorableColumn(line); column != 0) {
      result.refused.push_back({index + 1, column, static_cast<unsigned char>(line[column - 1])});
      continue;
    }
    if (result.refused.empty()) result.stored += ScrambleLine(line) + "\r\n";
  }
  if (!result.refused.empty()) {
    result.stored.clear();
    result.looksLikeUtf8 = LooksLikeUtf8(text);
  }
  return result;
}
