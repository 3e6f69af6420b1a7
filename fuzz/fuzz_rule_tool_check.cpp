// Any bytes as a rule file for RuleTool check: it never fails, its findings are ordered by
// line and lie within the file, the layout findings appear exactly when their cause does (a
// file saved as plain text gets that one finding alone), and the same file always gives the
// same findings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/files/line_reader.h"
#include "tools/rules/rule_check.h"
#include "tools/rules/rule_encode.h"

namespace {

// Messages about entries begin with the entry or a fixed word, never with these.
bool AnyBeginsWith(const std::vector<Finding>& findings, const std::string& start) {
  return std::any_of(findings.begin(), findings.end(), [&](const Finding& f) { return f.message.starts_with(start); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<Finding> findings = CheckRuleFile(bytes);
  if (AnyBeginsWith(findings, "the file looks like plain rule text")) {
    // Its line counts as an editor shows the text, not as the cleaner reads it.
    FUZZ_REQUIRE(findings.size() == 1);
    FUZZ_REQUIRE(findings[0].line >= 1 && findings[0].line <= SplitTextLines(bytes).size());
    return 0;
  }

  MemoryByteSource source(bytes);
  LineReader reader(source);
  std::size_t lines = 0;
  bool lineFeed = false;
  while (!reader.AtEnd()) {
    const std::string line = reader.ReadLine();
    if (line.find('\n') != std::string::npos) lineFeed = true;
    ++lines;
  }
  for (std::size_t i = 0; i < findings.size(); ++i) {
    FUZZ_REQUIRE(findings[i].line >= 1 && findings[i].line <= lines + 1);
    FUZZ_REQUIRE(!findings[i].message.empty());
    if (i > 0) FUZZ_REQUIRE(findings[i - 1].line <= findings[i].line);
  }
  // The line-feed finding by its words: an entry's finding may begin with "holds " too (a key
  // name longer than the registry allows).
  const bool lineFeedFound = std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
    return f.message.starts_with("holds ") && f.message.find("(LF) without a carriage return") != std::string::npos;
  });
  FUZZ_REQUIRE(lineFeedFound == lineFeed);
  const std::size_t ctrlZ = bytes.find('\x1A');
  FUZZ_REQUIRE(AnyBeginsWith(findings, "a Ctrl-Z (byte 26) ends the file here") ==
               (ctrlZ != std::string::npos && ctrlZ + 1 < bytes.size()));

  const std::vector<Finding> again = CheckRuleFile(bytes);
  FUZZ_REQUIRE(again.size() == findings.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    FUZZ_REQUIRE(again[i].line == findings[i].line && again[i].message == findings[i].message);
  }
  return 0;
}
