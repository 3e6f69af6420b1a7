#include <gtest/gtest.h>
#include <windows.h>

#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/gateway/recording_effects.h"
#include "engine/rules/rule_file.h"
#include "engine/run/rule_pass.h"
#include "platform/files/line_file.h"
#include "report/trace_log.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/hostile_rule_files.h"
#include "tests/support/scratch_key.h"
#include "tests/support/test_window.h"
#include "tests/support/wine_test_support.h"
#include "ui/pie_gauge.h"

namespace {

double PrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  return static_cast<double>(memory.PagefileUsage) / (1024.0 * 1024.0);
}

// The engine's gauge is the main window's pie gauge, on a window of its own; the private
// memory is sampled at every redraw, so at every whole percent of the pass.
class GaugeView : public NoRunView {
 public:
  void SetGaugeRange(int minimum, int maximum) override { gauge.SetRange(minimum, maximum); }
  void SetGaugeProgress(int progress) override {
    const int before = gauge.RedrawCount();
    gauge.SetProgress(progress);
    if (gauge.RedrawCount() != before) peakPrivateMb = std::max(peakPrivateMb, PrivateMegabytes());
  }

  TestWindow parent{"Gauge", false};
  PieGauge gauge{parent.Get(), 1, RECT{0, 0, 50, 50}, nullptr};
  double peakPrivateMb = 0;
};

struct HostileRun {
  GaugeView gaugeView;
  EngineTestContext test{LiveEffects::Instance(), nullptr, &gaugeView};
  CleanerState& state = test.state;
  CleanerContext& context = test.context;
  ScriptedReporter& reporter = test.reporter;
};

int CountLines(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  const int count = CountRuleLines(file);
  file.CloseAndFlush();
  return count;
}

std::string CaseName(const testing::TestParamInfo<HostileRuleFile>& info) { return info.param.name; }

class HostileRuleFileTest : public testing::TestWithParam<HostileRuleFile> {};

}  // namespace

// Each file goes through start-up's line count and a whole rule pass with deletion
// permitted, against the live registry and file system (its entries name keys and folders
// that do not exist). The pass must end without an error, move the gauge over every line
// it counted with at most 101 pictures (the range, then one per whole percent), and hold
// about one line in memory: the private memory may not grow by more than a few times the
// longest line.
TEST_P(HostileRuleFileTest, PassEndsWithTheGaugeFullAfterAtMost101RedrawsAndMemoryFlat) {
  const HostileRuleFile& hostile = GetParam();
  ScratchFolder folder("hostile");
  const std::string path = folder / "Do_list.dat";
  std::size_t longestLine = 0;
  {
    const std::string bytes = hostile.make();
    std::size_t start = 0;
    for (std::size_t cr = bytes.find('\r'); start < bytes.size(); cr = bytes.find('\r', start)) {
      const std::size_t end = cr == std::string::npos ? bytes.size() : cr;
      longestLine = std::max(longestLine, end - start);
      start = end + 1;
    }
    WriteBytes(path, bytes);
  }
  HostileRun run;
  run.state.RuleFilePath = path;
  run.state.ProgramFolder = folder.Path();
  run.state.DeletePermission = true;
  const int lines = CountLines(path);
  run.gaugeView.SetGaugeRange(0, lines);
  const double before = PrivateMegabytes();

  EXPECT_NO_THROW(RunRulePass(run.context, UnattendedRunOptions(run.state)));

  EXPECT_EQ(run.state.Progress, lines);
  EXPECT_LE(run.gaugeView.gauge.RedrawCount(), 101);
  if (lines > 0) {
    EXPECT_EQ(run.gaugeView.gauge.Model().Percentage(), 100);
  }
  const double grown = run.gaugeView.peakPrivateMb - before;
  const double allowed = 4.0 + 5.0 * static_cast<double>(longestLine) / (1024.0 * 1024.0);
  EXPECT_LT(grown, allowed) << lines << " lines, the longest " << longestLine << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Hardening, HostileRuleFileTest, testing::ValuesIn(HostileRuleFiles()), CaseName);

// Windows: an entry of 66,000 characters made FindFirstFileExW fault inside the system (Wine,
// reproduced) instead of answering, and so did a file entry with one name of 32,000. Every
// section refuses an entry longer than the longest path with its line number, and the file
// sections one with a name longer than a file name can be, before any call is made with it.
// A path of nearly the longest length in names of a possible length is still taken (and,
// naming nothing, changes nothing); so is a long value name, which the registry allows.
TEST(HardeningRuleFile, EntriesLongerThanAnyPathAreRefusedBeforeAnyCall) {
  ScratchKey scratch("hard_long");
  scratch.SetString("", "Mark", "stays");
  ScratchFolder folder("hard_long");
  WriteBytes(folder / "Program\\kept.dat", "kept");
  const std::string key = "HKEY_CURRENT_USER\\" + scratch.Path();
  const std::string tooLong(66000, 'a');
  std::string deep = folder / "Program";
  while (deep.size() < kLongestPathUnits - 300) deep += "\\" + std::string(200, 'd');
  const std::vector<std::string> lines = {
      "[Registry_Delete]",     key + "\\" + tooLong,                            "[Registry_Delete_End]",
      "[Registry_Delete_Val]", key + "=" + tooLong, key + "=" + std::string(300, 'v'), "[Registry_Delete_Val_End]",
      "[Delete_Folder]",       folder / "Program\\" + tooLong, deep,               "[Delete_Folder_End]",
      "[Delete_File]",         folder / "Program\\" + std::string(256, 'n'),      "[Delete_File_End]",
  };
  WriteBytes(folder / "Do_list.dat", StoredLinesAsGiven(lines));

  HostileRun run;
  run.state.RuleFilePath = folder / "Do_list.dat";
  run.state.DeletePermission = true;
  RunRulePass(run.context, UnattendedRunOptions(run.state));

  EXPECT_TRUE(scratch.HasValue("", "Mark"));
  EXPECT_EQ(ReadBytes(folder / "Program\\kept.dat"), "kept");
  EXPECT_EQ(run.reporter.infoLines,
            (std::vector<std::string>{kRefusedLongEntry + std::string("2"), kRefusedLongEntry + std::string("5"),
                                      kRefusedLongEntry + std::string("9"), kRefusedLongNameEntry + std::string("13")}));
  EXPECT_EQ(run.context.outcome.notRemoved, 4);
}

// The Windows calls read a name up to its first NUL byte, so an entry holding one would act
// on what comes before it, a thing the entry does not name and no guard has seen.
TEST(HardeningRuleFile, EntriesHoldingANulByteAreRefusedAndWhatTheirFirstPartNamesStays) {
  ScratchKey scratch("hard_nul");
  scratch.SetString("", "Mark", "stays");
  scratch.SetString("Inner", "Mark", "stays");
  ScratchFolder folder("hard_nul");
  WriteBytes(folder / "Program\\kept.dat", "kept");
  WriteBytes(folder / "single.dat", "kept");
  const std::string key = "HKEY_CURRENT_USER\\" + scratch.Path();
  const std::string nul(1, '\0');
  const std::vector<std::string> lines = {
      "[Registry_Delete]",      key + nul + "\\Velmora",       "[Registry_Delete_End]",
      "[Registry_Delete_Val]",  key + "=Mark" + nul + "Other", "[Registry_Delete_Val_End]",
      "[Delete_Folder]",        folder / "Program" + nul + "\\Velmora", "[Delete_Folder_End]",
      "[Delete_File]",          folder / "single.dat" + nul + ".bak",   "[Delete_File_End]",
  };
  WriteBytes(folder / "Do_list.dat", StoredLinesAsGiven(lines));

  HostileRun run;
  run.state.RuleFilePath = folder / "Do_list.dat";
  run.state.DeletePermission = true;
  RunRulePass(run.context, UnattendedRunOptions(run.state));

  EXPECT_TRUE(scratch.HasValue("", "Mark"));
  EXPECT_TRUE(scratch.HasValue("Inner", "Mark"));
  EXPECT_EQ(ReadBytes(folder / "Program\\kept.dat"), "kept");
  EXPECT_EQ(ReadBytes(folder / "single.dat"), "kept");
  EXPECT_EQ(run.reporter.infoLines,
            (std::vector<std::string>{kRefusedNulEntry + std::string("2"), kRefusedNulEntry + std::string("5"),
                                      kRefusedNulEntry + std::string("8"), kRefusedNulEntry + std::string("11")}));
  EXPECT_EQ(run.context.outcome.notRemoved, 4);
}
