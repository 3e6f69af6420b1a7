// Any bytes as a rule file: reading, descrambling and expanding never fail, the line count
// agrees with the lines read, text lines survive scrambling, and where the reads of the
// file happen to end changes no line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/rules/rule_file.h"
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
  state.ProgramDataFolder = "C:\\Data\\%PF64%";
  state.ProgramFiles64Folder = "C:\\Program Files\\%ProgData%%CF64%";
  state.CommonFiles64Folder = "C:\\Program Files\\Common Files";
  state.UserFolders = {{"C:\\Users\\%UserLocal%\\AppData\\Roaming", "C:\\Users\\A\\%UserRoaming%", ""}};
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
  state.ProgramDataFolder = "%ProgData%";
  state.ProgramFiles64Folder = "%PF64%";
  state.CommonFiles64Folder = "%CF64%";
  state.UserFolders = {{"%UserRoaming%", "%UserLocal%", ""}};
  return state;
}

// Hands the bytes out in pieces of 1 to 200 bytes, a sequence fixed by the seed, as a
// pipe or a slow disk may: line ends and Ctrl-Z fall on every kind of border.
class PiecewiseSource : public ByteSource {
 public:
  PiecewiseSource(const std::string& bytes, std::uint32_t seed) : bytes_(bytes), state_(seed) {}
  std::size_t Fetch(char* buffer, std::size_t capacity) override {
    state_ = state_ * 1103515245u + 12345u;
    const std::size_t piece = 1 + (state_ >> 16) % 200;
    const std::size_t take = std::min({capacity, piece, bytes_.size() - offset_});
    std::copy_n(bytes_.data() + offset_, take, buffer);
    offset_ += take;
    return take;
  }

 private:
  const std::string& bytes_;
  std::uint32_t state_;
  std::size_t offset_ = 0;
};

constexpr std::size_t kLongestFolder = 40;
constexpr std::size_t kPlaceholderCount = kPlaceholders.size();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  static const CleanerState folders = FolderState();
  static const CleanerState self = SelfState();

  MemoryByteSource rawSource(bytes);
  LineReader raw(rawSource);
  PiecewiseSource ruleSource(bytes, static_cast<std::uint32_t>(size));
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

  PiecewiseSource countSource(bytes, static_cast<std::uint32_t>(size) * 7u + 1u);
  LineReader counter(countSource);
  FUZZ_REQUIRE(static_cast<std::size_t>(CountRuleLines(counter)) == reads);
  return 0;
}
