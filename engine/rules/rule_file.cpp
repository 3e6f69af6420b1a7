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

namespace {

const std::string& FolderOf(const Placeholder& placeholder, const CleanerState& state, std::size_t userIndex) {
  static const std::string none;
  if (placeholder.folder) return state.*placeholder.folder;
  return userIndex < state.UserFolders.size() ? state.UserFolders[userIndex].*placeholder.userFolder : none;
}

// The occurrences the expansion replaces, in line order; at most one per placeholder.
struct Occurrences {
  std::array<Occurrence, kPlaceholders.size()> taken{};
  std::array<const Placeholder*, kPlaceholders.size()> by{};
  std::size_t count = 0;
};

Occurrences FindOccurrences(std::string_view line) {
  Occurrences found;
  for (const Placeholder& placeholder : kPlaceholders) {
    const std::size_t begin = line.find(placeholder.name);
    if (begin == std::string_view::npos) continue;
    const std::size_t end = begin + placeholder.name.size();
    const auto first = found.taken.begin();
    const bool overlaps = std::any_of(first, first + static_cast<std::ptrdiff_t>(found.count),
                                      [&](const Occurrence& other) { return begin < other.end && other.begin < end; });
    if (overlaps) continue;
    std::size_t at = found.count;
    while (at > 0 && found.taken[at - 1].begin > begin) {
      found.taken[at] = found.taken[at - 1];
      found.by[at] = found.by[at - 1];
      --at;
    }
    found.taken[at] = {begin, end, nullptr};
    found.by[at] = &placeholder;
    ++found.count;
  }
  return found;
}

}  // namespace

std::string ExpandPlaceholders(std::string_view line, const CleanerState& state, std::string* unset,
                               std::size_t userIndex) {
  if (unset) unset->clear();
  Occurrences found = FindOccurrences(line);
  if (found.count == 0) return std::string(line);
  std::size_t size = line.size();
  for (std::size_t i = 0; i < found.count; ++i) {
    const Placeholder& placeholder = *found.by[i];
    const std::string& value = FolderOf(placeholder, state, userIndex);
    found.taken[i].value = &value;
    size = size - placeholder.name.size() + value.size();
  }
  // The first unset in the list's order, whatever the order in the line.
  if (unset) {
    for (const Placeholder& placeholder : kPlaceholders) {
      const auto begin = found.by.cbegin();
      const auto end = begin + static_cast<std::ptrdiff_t>(found.count);
      if (std::find(begin, end, &placeholder) == end) continue;
      if (FolderOf(placeholder, state, userIndex).empty()) {
        *unset = placeholder.name;
        break;
      }
    }
  }

  std::string result;
  result.reserve(size);
  std::size_t copied = 0;
  for (std::size_t i = 0; i < found.count; ++i) {
    result.append(line.substr(copied, found.taken[i].begin - copied));
    result.append(*found.taken[i].value);
    copied = found.taken[i].end;
  }
  result.append(line.substr(copied));
  return result;
}

namespace {

bool IsPerUserName(std::string_view name) {
  return std::any_of(kPlaceholders.begin(), kPlaceholders.end(), [name](const Placeholder& placeholder) {
    return placeholder.userFolder != nullptr && placeholder.name == name;
  });
}

}  // namespace

bool UsesPerUserPlaceholder(std::string_view line) {
  if (line.find('%') == std::string_view::npos) return false;
  const Occurrences found = FindOccurrences(line);
  return std::any_of(found.by.begin(), found.by.begin() + static_cast<std::ptrdiff_t>(found.count),
                     [](const Placeholder* placeholder) { return placeholder->userFolder != nullptr; });
}

std::vector<RuleTarget> ExpandRuleTargets(std::string_view line, const CleanerState& state) {
  std::vector<RuleTarget> targets;
  if (!UsesPerUserPlaceholder(line)) {
    RuleTarget only;
    only.text = ExpandPlaceholders(line, state, &only.unset);
    targets.push_back(std::move(only));
    return targets;
  }
  const std::size_t profiles = std::max<std::size_t>(state.UserFolders.size(), 1);
  for (std::size_t user = 0; user < profiles; ++user) {
    RuleTarget target;
    target.text = ExpandPlaceholders(line, state, &target.unset, user);
    // Another profile without that folder holds nothing of it; the current user's unknown
    // folder is refused as any unset placeholder is.
    if (user > 0 && IsPerUserName(target.unset)) continue;
    const bool named = std::any_of(targets.begin(), targets.end(), [&](const RuleTarget& other) {
      return other.unset.empty() && target.unset.empty() && EqualsIgnoringAsciiCase(other.text, target.text);
    });
    if (!named) targets.push_back(std::move(target));
  }
  return targets;
}

namespace {

// Reads and descrambles the next line; percent tells whether it holds a '%' at all (most lines
// do not, and need no expansion and no second copy).
std::string ReadDescrambledLine(LineSource& file, bool fromWindows1251, bool& percent) {
  std::string line = file.ReadLine();
  percent = false;
  bool high = false;
  for (char& c : line) {
    c = static_cast<char>(kDescrambled[static_cast<unsigned char>(c)]);
    percent |= c == '%';
    high |= static_cast<unsigned char>(c) >= 0x80;
  }
  if (fromWindows1251 && high) line = Utf8FromWindows1251(line);
  return line;
}

}  // namespace

std::string ReadRuleLine(LineSource& file, const CleanerState& state, std::string* unset, bool fromWindows1251) {
  if (unset) unset->clear();
  bool percent = false;
  std::string line = ReadDescrambledLine(file, fromWindows1251, percent);
  if (!percent) return line;
  return ExpandPlaceholders(line, state, unset);
}

std::vector<RuleTarget> ReadRuleTargets(LineSource& file, const CleanerState& state, bool fromWindows1251) {
  bool percent = false;
  std::string line = ReadDescrambledLine(file, fromWindows1251, percent);
  if (!percent) return {RuleTarget{std::move(line), {}}};
  return ExpandRuleTargets(line, state);
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
