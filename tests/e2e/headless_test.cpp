// Cleaner.exe where no window can be made: Wine without an X server stands for a
// non-interactive Windows session whose desktop cannot take another window. These tests run
// only in the session of the test script that has no display.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/held_file.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kUnattended[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\n[End_Options]\r\n";

class CleanerHeadless : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND probe = CreateWindowExA(0, "STATIC", "probe", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    ASSERT_EQ(probe, nullptr) << "a window could be made: this session has a display";
  }
  SeededInstallation installation_;
  CleanerFolder cleaner_;
};

}  // namespace

TEST_F(CleanerHeadless, AnUnattendedRunDoesItsWholeWork) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(kUnattended);
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  EXPECT_FALSE(installation_.ProductProcessRunning());
  EXPECT_EQ(installation_.RenamedValue().value_or("<missing>"), "moved data");
}

TEST_F(CleanerHeadless, AFileInUseMakesTheExitCodeOne) {
  HeldFile held(installation_.FileInProgramFolder());
  ASSERT_EQ(held.Answer(), "held");
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(kUnattended);
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{"program folder"});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
}

// The interactive mode needs its window: without one the run is an error, never a silent 0.
TEST_F(CleanerHeadless, TheInteractiveModeWithoutAWindowEndsWithAnError) {
  cleaner_.WriteRules(installation_.RuleLines());
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  EXPECT_EQ(installation_.TargetsGone(), Strings{});
  const Strings log = cleaner_.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("The main window could not be created: error ", 0), 0u) << log.back();
}
