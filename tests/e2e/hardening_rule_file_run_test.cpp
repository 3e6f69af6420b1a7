#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/watched_run.h"
#include "tests/support/hostile_rule_files.h"
#include "tests/support/wine_test_support.h"

namespace {

constexpr char kUnattended[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nKILLPROCESS=0\r\n[End_Options]\r\n";

std::size_t LongestLine(const std::string& bytes) {
  std::size_t longest = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\r', start);
    if (end == std::string::npos) end = bytes.size();
    longest = std::max(longest, end - start);
    start = end + 1;
  }
  return longest;
}

// The peak private memory of an unattended run over a rule file of ordinary size.
double OrdinaryPeakMb() {
  static const double peak = [] {
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) lines.push_back("Velmora QRV rule file, line " + std::to_string(i));
    CleanerFolder cleaner;
    cleaner.WriteRules(lines);
    cleaner.WriteSettings(kUnattended);
    return RunWatched(cleaner / "Cleaner.exe", "", cleaner.Path()).peakPrivateMb;
  }();
  return peak;
}

std::string CaseName(const testing::TestParamInfo<HostileRuleFile>& info) { return info.param.name; }

class HostileRuleFileRun : public testing::TestWithParam<HostileRuleFile> {};

}  // namespace

// Cleaner.exe itself, unattended, over each hostile rule file: it ends by itself without an
// error box and with an exit code a script understands (0, or 1 for refused entries), and
// its peak private memory stays that of a run over an ordinary file, plus a few times the
// longest line where a line is megabytes long.
TEST_P(HostileRuleFileRun, CleanerEndsWithoutAnErrorAndItsPeakMemoryStaysFlat) {
  const double ordinary = OrdinaryPeakMb();
  ASSERT_GT(ordinary, 0.0);
  CleanerFolder cleaner;
  std::size_t longest = 0;
  {
    const std::string bytes = GetParam().make();
    longest = LongestLine(bytes);
    WriteBytes(cleaner / "Do_list.dat", bytes);
  }
  cleaner.WriteSettings(kUnattended);

  const WatchedExit exit = RunWatched(cleaner / "Cleaner.exe", "", cleaner.Path());

  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(DialogTexts(exit), std::vector<std::string>{});
  EXPECT_LE(exit.exitCode, 1u);
  EXPECT_GT(exit.peakPrivateMb, 0.0) << "its memory was never read";
  const double allowed = ordinary + 2.0 + 5.0 * static_cast<double>(longest) / (1024.0 * 1024.0);
  EXPECT_LT(exit.peakPrivateMb, allowed) << "an ordinary run peaks at " << ordinary << " MB";
}

INSTANTIATE_TEST_SUITE_P(Hardening, HostileRuleFileRun, testing::ValuesIn(HostileRuleFiles()), CaseName);
