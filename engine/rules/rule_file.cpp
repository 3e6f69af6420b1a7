#include "engine/rules/rule_file.h"

#include <algorithm>
#include <array>
#include <climits>

#include "engine/rules/rule_text_code.h"
#include "platform/errors.h"
#include "platform/text/text_rules.h"

namespace {
// Bytes 0 to 30 stay; any other byte b becomes (226 - b) mod 256. A table: one load per
// byte, where the 32-bit build has no vector instructions for the comparison.
constexpr std::array<unsigned char, 256> kDescrambled = [] {
  std::array<unsigned char, 256> table{};
  for (int stored = 0; stored < 256; ++stored) {
    table[static_cast<std::size_t>(stored)] = static_cast<unsigned char>(stored <= 30 ? stored : (226 - stored) & 0xFF);
  }
  return table;
}();
}  // namespace

unsigned char DescrambleByte(unsigned char stored) { return kDescrambled[stored]; }

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

std::string ExpandPlaceholders(std::string_view line, const CleanerState& state, std::string* unset) {
  if (unset) unset->clear();
  // The occurrences to replace, kept in line order; at most one per placeholder.
  std::array<Occurrence, kPlaceholders.size()> taken{};
  std::size_t count = 0;
  std::size_t size = line.size();
  for (const Placeholder& placeholder : kPlaceholders) {
    const std::size_t begin = line.find(placeholder.name);
    if (begin == std::string_view::npos) continue;
    const std::size_t end = begin + placeholder.name.size();
    const bool overlaps = std::any_of(taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(count),
                                      [&](const Occurrence& other) { return begin < other.end && other.begin < end; });
    if (overlaps) continue;
    std::size_t at = count;
    while (at > 0 && taken[at - 1].begin > begin) {
      taken[at] = taken[at - 1];
      --at;
    }
    taken[at] = {begin, end, &(state.*placeholder.folder)};
    if (unset && unset->empty() && (state.*placeholder.folder).empty()) *unset = placeholder.name;
    ++count;
    size = size - placeholder.name.size() + (state.*placeholder.folder).size();
  }
  if (count == 0) return std::string(line);

  std::string result;
  result.reserve(size);
  std::size_t copied = 0;
  for (std::size_t i = 0; i < count; ++i) {
    result.append(line.substr(copied, taken[i].begin - copied));
    result.append(*taken[i].value);
    copied = taken[i].end;
  }
  result.append(line.substr(copied));
  return result;
}

std::string ReadRuleLine(LineSource& file, const CleanerState& state, std::string* unset, bool fromWindows1251) {
  if (unset) unset->clear();
  std::string line = file.ReadLine();
  // Every placeholder starts with '%': most lines need no expansion and no second copy.
  bool percent = false;
  bool high = false;
  for (char& c : line) {
    c = static_cast<char>(kDescrambled[static_cast<unsigned char>(c)]);
    percent |= c == '%';
    high |= static_cast<unsigned char>(c) >= 0x80;
  }
  if (fromWindows1251 && high) line = Utf8FromWindows1251(line);
  if (!percent) return line;
  return ExpandPlaceholders(line, state, unset);
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
