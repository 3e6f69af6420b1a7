// One cleaner at a time, under Wine end to end. Wine answers the private-namespace calls with a
// stub, so the real program claims its lock file in the Windows folder here; the old global
// name that anyone could take first is no part of the claim.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/text/wide_text.h"
#include "startup/single_instance.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/held_file.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kUnattended[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\n[End_Options]\r\n";
constexpr DWORD kAnotherCopyRuns = 1618;
// A normal user's mutex: the default access list of the user's token, which denies the
// administrator; and one open to everyone.
constexpr char kDeniesTheCleaner[] = "\"D:(A;;GA;;;S-1-5-21-1-2-3-1001)\"";
constexpr char kOpenToEveryone[] = "\"D:(A;;GA;;;WD)\"";

std::string LockFile() {
  char folder[MAX_PATH + 1] = {};
  GetSystemWindowsDirectoryA(folder, MAX_PATH + 1);
  return std::string(folder) + "\\" + AnsiFromWide(kInstanceLockFileName);
}

class SingleInstanceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    cleaner_.WriteRules(installation_.RuleLines());
    cleaner_.WriteSettings(kUnattended);
  }
  SeededInstallation installation_;
  CleanerFolder cleaner_;
};

}  // namespace

// Windows: a normal user made Global\VelmoraCleaner.Running first, with access for everyone
// (every run used to end with 1618) or with the access list of the user's token (the
// administrator's open was denied and two runs went at once). Neither stops the run now.
TEST_F(SingleInstanceEndToEnd, AGlobalNameAnotherProcessTookFirstNeitherStopsTheRun) {
  for (const char* access : {kOpenToEveryone, kDeniesTheCleaner}) {
    HeldFile squatter("hold_mutex.exe", std::string("Global\\VelmoraCleaner.Running ") + access);
    ASSERT_EQ(squatter.Answer(), "held") << access;
    const CleanerExit exit = cleaner_.Run("/Q /TL");
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 0u) << access;
    EXPECT_EQ(installation_.TargetsLeft(), Strings{}) << access;
  }
}

// Another copy holds the claim (here its lock file, held open by another process): the run
// ends with 1618 and changes nothing, whatever a squatter holds beside it; once the other copy
// is gone the next run cleans.
TEST_F(SingleInstanceEndToEnd, AClaimAnotherProcessHoldsEndsTheRunWith1618AndNothingChanged) {
  WriteBytes(LockFile(), "");
  {
    HeldFile otherCopy(LockFile());
    ASSERT_EQ(otherCopy.Answer(), "held");
    HeldFile squatter("hold_mutex.exe", std::string("Global\\VelmoraCleaner.Running ") + kDeniesTheCleaner);
    ASSERT_EQ(squatter.Answer(), "held");
    const CleanerExit exit = cleaner_.Run("/Q /TL");
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, kAnotherCopyRuns);
    EXPECT_EQ(installation_.TargetsGone(), Strings{});
  }
  DeleteFileA(LockFile().c_str());
  const CleanerExit exit = cleaner_.Run("/Q /TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(GetFileAttributesA(LockFile().c_str()), INVALID_FILE_ATTRIBUTES) << "the claim is left behind";
}
