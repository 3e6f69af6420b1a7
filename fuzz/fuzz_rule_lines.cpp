// Any bytes as a rule file: reading, descrambling and expanding never fail, the line count
// agrees with the lines read, and text lines survive scrambling.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/rule_file.h"
#include "fuzz/fuzz_check.h"

namespace {

// Folders that hold placeholder texts themselves, which must come out as they are.
CleanerState FolderState() {
  CleanerState state;
  state.ProgramFolder = "C:\\Program Files\\%Shared%";
  state.SharedFolder = "C:\\Common\\%Program%%PF%";
  state.WindowsFolder = "C:\\WINDOWS";
  state.SystemFolder = "C:\\WINDOWS\\%winsys%";
  state.ProgramFilesFolder = "C:\\Program Files";
  return state;
}

// Each placeholder stands for itself: expansion must leave every line unchanged.
CleanerState SelfState() {
  CleanerState state;
  state.ProgramFolder = "%Program%";
  state.SharedFolder = "%Shared%";
  state.WindowsFolder = "%WinDir%";
  state.SystemFolder = "%winsys%";
  state.ProgramFilesFolder = "%PF%";
  return state;
}

constexpr std::size_t kLongestFolder = 40;
constexpr std::size_t kPlaceholderCount = 5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  static const CleanerState folders = FolderState();
  static const CleanerState self = SelfState();

  MemoryByteSource rawSource(bytes);
  LineReader raw(rawSource);
  MemoryByteSource ruleSource(bytes);
  LineReader rules(ruleSource);
  std::size_t reads = 0;
  while (!rules.AtEnd()) {
    FUZZ_REQUIRE(!raw.AtEnd());
    const std::string stored = raw.ReadLine();
    const std::string line = ReadRuleLine(rules, folders);
    ++reads;

    const std::string text = DescrambleLine(stored);
    FUZZ_REQUIRE(text.size() == stored.size());
    FUZZ_REQUIRE(ExpandPlaceholders(text, self) == text);
    FUZZ_REQUIRE(line == ExpandPlaceholders(text, folders));
    if (text.find('%') == std::string::npos) FUZZ_REQUIRE(line == text);
    FUZZ_REQUIRE(line.size() <= text.size() + kPlaceholderCount * kLongestFolder);

    if (FirstUnstorableColumn(text) == 0) {
      const std::string again = ScrambleLine(text);
      FUZZ_REQUIRE(DescrambleLine(again) == text);
      for (const char c : again) FUZZ_REQUIRE(static_cast<unsigned char>(c) > 30);
    }
  }
  FUZZ_REQUIRE(raw.AtEnd());

  MemoryByteSource countSource(bytes);
  LineReader counter(countSource);
  FUZZ_REQUIRE(static_cast<std::size_t>(CountRuleLines(counter)) == reads);
  return 0;
}
