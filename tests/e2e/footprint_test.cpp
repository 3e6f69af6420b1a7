#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/footprint.h"

namespace {

constexpr char kUnattended[] =
    "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nKILLPROCESS=0\r\n[End_Options]\r\n";

}  // namespace

// A modern anti-virus product's footprint (its folders, drivers, services and their Safe Mode
// entries, a filter in a device class's list, classes and shell extensions, AMSI and credential
// providers, the Control Panel's namespace, crash dump settings, Windows Installer's codes and
// folders, uninstall entry, Run values, event log sources and channels, a firewall rule, a logon
// notification, browser and compatibility values, scheduled tasks, policies) beside Windows' own
// items and another program's of the same kinds, all named by a careless rule file: one run
// removes every item of the product and leaves every other one as it was, byte for byte. On a
// 64-bit prefix the program folder's 64-bit twin goes, and a file of the hook's name in the real
// System32 that shows no evidence of the product stays.
TEST(Footprint, OneRunRemovesEveryProductItemAndLeavesEveryOtherByteForByte) {
  Footprint footprint;
  ASSERT_GE(footprint.Count(Owner::Product), 40u);
  ASSERT_LE(footprint.Count(Owner::Unproven), 4u);
  CleanerFolder cleaner;
  cleaner.WriteRules(footprint.RuleLines());
  cleaner.WriteSettings(kUnattended);
  const FootprintDump before = footprint.Dump();
  const CleanerExit exit = cleaner.Run("/Q /TL");
  ASSERT_TRUE(exit.finished);
  // The others' lines are refused, each with a line: the run ends with 1.
  EXPECT_EQ(exit.exitCode, 1u);
  const std::vector<std::string> misplaced = footprint.Misplaced(footprint.Expected(before), footprint.Dump());
  std::string listed;
  for (const std::string& line : misplaced) listed += line + "\n";
  EXPECT_TRUE(misplaced.empty()) << misplaced.size() << " entries fared otherwise than expected:\n" << listed;
}
