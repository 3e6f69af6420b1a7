#include "platform/text/text_rules.h"

namespace {

constexpr char kQuote = '"';

bool IsSeparatorByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

bool EndsItem(std::string_view line, std::size_t at) {
  return at >= line.size() || static_cast<unsigned char>(line[at]) <= 32;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  // The command line is a C string: nothing after a NUL belongs to it.
  const std::string_view line = commandLine.substr(0, commandLine.find('\0'));
  std::vector<std::string> items;
  std::size_t at = 0;
  for (;;) {
    for (;;) {
      while (at < line.size() && IsSeparatorByte(line[at])) ++at;
      if (at + 1 < line.size() && line[at] == kQuote && line[at + 1] == kQuote) {
        at += 2;
      } else {
        break;
      }
    }
    if (at >= line.size()) return items;

    // Bytes past the cap are passed over up to the item's own end, so the rest of an
    // over-long item never turns into further arguments.
    std::string item;
    const auto take = [&item](char c) {
      if (item.size() < kMaxArgumentLength) item.push_back(c);
    };
    while (!EndsItem(line, at)) {
      if (line[at] == kQuote) {
        ++at;
        while (at < line.size() && line[at] != kQuote) take(line[at++]);
        if (at < line.size()) ++at;
      } else {
        take(line[at++]);
      }
    }
    items.push_back(std::move(item));
  }
}

std::vector<std::string> CommandLineArguments(std::string_view commandLine) {
  std::vector<std::string> items = SplitCommandLine(commandLine);
  std::vector<std::string> arguments;
  for (std::size_t n = 1; n < items.size() && !items[n].empty(); ++n) {
    arguments.push_back(std::move(items[n]));
  }
  return arguments;
}
