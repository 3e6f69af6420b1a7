// Journals of any bytes: every entry read writes back as a line that reads as the same entry,
// and a line read on its own writes back byte for byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/backup_journal.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Journal journal = ParseJournal(text);
  FUZZ_REQUIRE(!journal.lastLineCut || (!text.empty() && text.back() != '\n'));
  // Entries come only from a journal of this version or of the one before it, which kept no
  // file identities.
  FUZZ_REQUIRE(journal.entries.empty() || text.starts_with(kJournalHeader) ||
               text.starts_with(kJournalHeaderWithoutIdentity));
  for (const auto& entry : journal.entries) {
    const std::string line = JournalLine(entry);
    FUZZ_REQUIRE(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    std::string problem;
    const auto again = ParseJournalLine(line, problem);
    FUZZ_REQUIRE(again && *again == entry && problem.empty());
  }
  std::string problem;
  if (const auto entry = ParseJournalLine(text, problem)) {
    FUZZ_REQUIRE(JournalLine(*entry) == text);
  } else {
    FUZZ_REQUIRE(!problem.empty());
  }
  return 0;
}
