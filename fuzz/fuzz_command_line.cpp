// Any command line: items are capped, never hold a quote or a NUL, hold separator bytes
// only from quoted runs, match a plain blank split when there are no quotes, and split
// back into themselves when written out quoted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/text/text_rules.h"
#include "startup/command_switches.h"

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }

// Without quotes, items are the runs of bytes above 32, each cut to the cap.
std::vector<std::string> PlainSplit(std::string_view line) {
  std::vector<std::string> items;
  std::size_t at = 0;
  for (;;) {
    while (at < line.size() && IsSeparator(line[at])) ++at;
    if (at >= line.size()) return items;
    const std::size_t begin = at;
    while (at < line.size() && !IsSeparator(line[at])) ++at;
    items.emplace_back(line.substr(begin, std::min(at - begin, kMaxArgumentLength)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string_view line = std::string_view(input).substr(0, input.find('\0'));
  const bool quoted = line.find('"') != std::string_view::npos;
  const std::vector<std::string> items = SplitCommandLine(input);

  std::size_t total = 0;
  for (std::size_t n = 0; n < items.size(); ++n) {
    const std::string& item = items[n];
    total += item.size();
    FUZZ_REQUIRE(item.size() <= kMaxArgumentLength);
    FUZZ_REQUIRE(item.find('"') == std::string::npos);
    FUZZ_REQUIRE(item.find('\0') == std::string::npos);
    // Only a lone quote at the very end makes an empty item.
    FUZZ_REQUIRE(!item.empty() || (n + 1 == items.size() && line.ends_with('"')));
    if (!quoted) {
      for (const char c : item) FUZZ_REQUIRE(!IsSeparator(c));
    }
  }
  FUZZ_REQUIRE(total <= line.size());
  if (!quoted) FUZZ_REQUIRE(items == PlainSplit(line));

  std::vector<std::string> nonEmpty;
  std::string rewritten;
  for (const std::string& item : items) {
    if (item.empty()) continue;
    nonEmpty.push_back(item);
    rewritten += " \"" + item + "\"";
  }
  FUZZ_REQUIRE(SplitCommandLine(rewritten) == nonEmpty);

  const std::vector<std::string> arguments = CommandLineArguments(input);
  FUZZ_REQUIRE(arguments.size() + 1 <= std::max<std::size_t>(items.size(), 1));
  for (std::size_t n = 0; n < arguments.size(); ++n) FUZZ_REQUIRE(arguments[n] == items[n + 1]);
  FUZZ_REQUIRE(arguments.size() + 1 >= items.size() || items[arguments.size() + 1].empty());

  // A valid line asks for nothing that excludes something else, and the order of the
  // arguments does not change whether it is valid.
  const CommandLineChoices choices = ParseCommandLine(arguments);
  if (choices.problem.empty()) {
    FUZZ_REQUIRE(choices.undoFolder.empty() || choices.backupFolder.empty());
    FUZZ_REQUIRE(!choices.detect || (choices.undoFolder.empty() && choices.backupFolder.empty()));
  }
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  FUZZ_REQUIRE(ParseCommandLine(reversed).problem.empty() == choices.problem.empty());
  return 0;
}
