#include <algorithm>

#include "engine/rules/rule_file.h"
#include "platform/text/text_rules.h"
#include "tools/rules/entry_check.h"

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::vector<std::string> CheckPlaceholders(std::string_view entry) {
  std::vector<std::string> messages;
  const std::string upperEntry = UpperAscii(entry);
  for (const Placeholder& placeholder : kPlaceholders) {
    const std::string upperName = UpperAscii(placeholder.name);
    std::vector<std::string> misspelt;
    std::size_t exact = 0;
    for (auto at = upperEntry.find(upperName); at != std::string::npos; at = upperEntry.find(upperName, at + 1)) {
      const std::string written(entry.substr(at, placeholder.name.size()));
      if (written == placeholder.name) {
        ++exact;
      } else if (std::find(misspelt.begin(), misspelt.end(), written) == misspelt.end()) {
        misspelt.push_back(written);
      }
    }
    for (const std::string& written : misspelt) {
      messages.push_back(Quoted(written) + " is not a placeholder (placeholders match only in their own letter case: " +
                         Quoted(placeholder.name) + "): it stays in the line as written");
    }
    if (exact > 1) {
      messages.push_back(Quoted(placeholder.name) + " occurs " + IntToText(static_cast<long long>(exact)) +
                         " times: only the first is replaced");
    }
  }
  return messages;
}
