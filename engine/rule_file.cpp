#include "engine/rule_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "platform/errors.h"
#include "platform/text_rules.h"

unsigned char DescrambleByte(unsigned char stored) {
  if (stored <= 30) return stored;
  return static_cast<unsigned char>(226 - stored);
}

std::string DescrambleLine(std::string_view stored) {
  std::string text(stored);
  for (char& c : text) c = static_cast<char>(DescrambleByte(static_cast<unsigned char>(c)));
  return text;
}

namespace {
bool IsUnstorable(unsigned char byte) { return byte >= 196 && byte <= 226; }
}  // namespace

std::size_t FirstUnstorableColumn(std::string_view text) {
  const auto found = std::find_if(text.begin(), text.end(),
                                  [](char c) { return IsUnstorable(static_cast<unsigned char>(c)); });
  return found == text.end() ? 0 : static_cast<std::size_t>(found - text.begin()) + 1;
}

std::string ScrambleLine(std::string_view text) {
  if (const std::size_t column = FirstUnstorableColumn(text); column != 0) {
    const auto byte = static_cast<unsigned char>(text[column - 1]);
    throw Exception("Byte " + IntToText(byte) + " in column " + IntToText(static_cast<long long>(column)) +
                    " cannot be stored in a rule line");
  }
  // Stored and text forms map onto each other by the same rule.
  std::string stored(text);
  for (char& c : stored) c = static_cast<char>(226 - static_cast<unsigned char>(c));
  return stored;
}

namespace {

struct Occurrence {
  std::size_t begin;
  std::size_t end;
  const std::string* value;
};

}  // namespace

std::string ExpandPlaceholders(std::string_view line, const CleanerState& state) {
  std::vector<Occurrence> taken;
  for (const Placeholder& placeholder : kPlaceholders) {
    const std::size_t begin = line.find(placeholder.name);
    if (begin == std::string_view::npos) continue;
    const std::size_t end = begin + placeholder.name.size();
    const bool overlaps = std::any_of(taken.begin(), taken.end(), [&](const Occurrence& other) {
      return begin < other.end && other.begin < end;
    });
    if (!overlaps) taken.push_back({begin, end, &(state.*placeholder.folder)});
  }
  if (taken.empty()) return std::string(line);

  std::sort(taken.begin(), taken.end(),
            [](const Occurrence& a, const Occurrence& b) { return a.begin < b.begin; });
  std::string result;
  std::size_t copied = 0;
  for (const Occurrence& occurrence : taken) {
    result.append(line.substr(copied, occurrence.begin - copied));
    result.append(*occurrence.value);
    copied = occurrence.end;
  }
  result.append(line.substr(copied));
  return result;
}

std::string ReadRuleLine(LineSource& file, const CleanerState& state) {
  return ExpandPlaceholders(DescrambleLine(file.ReadLine()), state);
}

int CountRuleLines(LineSource& file) {
  int count = 0;
  while (!file.AtEnd()) {
    file.SkipLine();
    // A count beyond the gauge's integer range stays at its largest value.
    if (count < INT_MAX) ++count;
  }
  return count;
}
