// Any bytes as a snapshot: the reader either refuses them with EConvertError or gives
// records in strictly rising order, each of which survives a trip through the line format;
// and a capture of the snapshot against itself gives no rule.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/errors.h"
#include "tools/capture/capture_rules.h"
#include "tools/snapshot/snapshot_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  bool readable = true;
  try {
    MemoryByteSource source(bytes);
    SnapshotReader reader(source);
    std::optional<SnapshotRecord> last;
    while (auto record = reader.Next()) {
      if (last) FUZZ_REQUIRE(CompareRecords(*last, *record) < 0);
      const SnapshotRecord again = ParseRecord(FormatRecord(*record));
      FUZZ_REQUIRE(again.kind == record->kind && again.container == record->container && again.name == record->name &&
                   again.data == record->data);
      last = std::move(record);
    }
  } catch (const EConvertError&) {
    readable = false;
  }
  if (!readable) return 0;
  MemoryByteSource first(bytes), second(bytes);
  SnapshotReader before(first), after(second);
  try {
    const CapturedRules rules = CaptureRules(before, after, nullptr);
    FUZZ_REQUIRE(rules.rules == 0);
    FUZZ_REQUIRE(rules.text.find('[') == std::string::npos);
  } catch (const EConvertError&) {
    FUZZ_REQUIRE(false);  // the same bytes read once already
  }
  return 0;
}
