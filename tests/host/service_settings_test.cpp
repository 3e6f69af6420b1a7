#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "platform/service_control_settings.h"

namespace {

ServiceSettings Recovering() {
  ServiceSettings settings;
  settings.startType = 2;
  settings.resetPeriod = 86400;
  settings.rebootMessage = L"Velmora \u0417\u0414\u041D";
  settings.command = L"C:\\Program Files\\Velmora\\fix.exe \"a\tb\"";
  settings.actions = {{1, 60000}, {1, 120000}, {0, 0}};
  return settings;
}

}  // namespace

// A service's settings survive the byte form and the journal line whole: undo can only set
// back what was read.
TEST(ServiceSettings, SurviveTheByteFormAndTheJournal) {
  for (const ServiceSettings& settings : {Recovering(), DisabledServiceSettings(), ServiceSettings{}}) {
    const std::vector<std::uint8_t> bytes = EncodeServiceSettings(settings);
    EXPECT_EQ(DecodeServiceSettings(bytes), settings);
    JournalEntry entry;
    entry.number = 12;
    entry.kind = JournalKind::ServiceSettings;
    entry.path = L"QrvGuard";
    entry.values = {SavedValue{L"", 3, bytes}};
    std::string problem;
    EXPECT_EQ(ParseJournalLine(JournalLine(entry), problem), entry) << problem;
  }
  EXPECT_EQ(DisabledServiceSettings().startType, kServiceDisabled);
  EXPECT_TRUE(DisabledServiceSettings().actions.empty());
  EXPECT_EQ(DescribeServiceSettings(Recovering()), "start type 2, 3 failure actions");
  EXPECT_EQ(DescribeServiceSettings(DisabledServiceSettings()), "start type 4, 0 failure actions");
}

// A damaged byte form gives nothing, never other settings: undo must not set a service to
// something the run never read.
TEST(ServiceSettings, ADamagedByteFormIsRefused) {
  const std::vector<std::uint8_t> good = EncodeServiceSettings(Recovering());
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  std::vector<std::uint8_t> hugeCount = EncodeServiceSettings(DisabledServiceSettings());
  hugeCount[hugeCount.size() - 1] = 0x7F;  // the action count's high byte
  std::vector<std::uint8_t> hugeText = good;
  hugeText[11] = 0x7F;  // the reboot message's length
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"cut in the first word", {4, 0}},
      {"cut inside the actions", std::vector<std::uint8_t>(good.begin(), good.end() - 3)},
      {"a byte too many", longer},
      {"a count of actions beyond the bytes", hugeCount},
      {"a text longer than the bytes", hugeText},
  };
  for (const auto& c : cases) EXPECT_FALSE(DecodeServiceSettings(c.bytes).has_value()) << c.what;
}
