#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/system_error.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"

namespace {

const char kUnattended[] =
    "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nKILLPROCESS=0\r\n[End_Options]\r\n";

}  // namespace

class AwkwardTreeRun : public ::testing::Test {
 protected:
  // The code page run of these tests says which ANSI code page it expects.
  void SetUp() override {
    if (const char* expected = std::getenv("CLEANER_EXPECT_ACP")) {
      ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
  }
};

// One unattended run with one folder entry per tree: a fullwidth look-alike of "..\",
// CJK names, a tree far beyond 260 characters, names ending in a dot or a blank. Every
// tree goes whole, the folder the look-alike imitates stays, and the run ends with 0.
// The suite runs again under code pages 1252 and 1251.
TEST_F(AwkwardTreeRun, UnattendedRunRemovesEveryTreeWholeAndNothingBeside) {
  ScratchFolder scratch("awkward");
  CleanerFolder cleaner;
  std::vector<std::string> rules = {"[Delete_Folder]"};
  std::vector<std::string> tops;
  for (const AwkwardTree& tree : AwkwardTrees()) {
    tops.push_back(scratch / ("target" + std::to_string(tops.size())));
    MakeAwkwardTree(tops.back(), tree);
    rules.push_back(tops.back());
  }
  rules.push_back("[Delete_Folder_End]");
  WriteBytes(scratch / "victim\\keep.txt", "keep");
  cleaner.WriteRules(rules);
  cleaner.WriteSettings(kUnattended);

  const CleanerExit exit = cleaner.Run("/TL");

  ASSERT_TRUE(exit.finished);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_EQ(exit.exitCode, 0u);
  for (std::size_t i = 0; i < tops.size(); ++i) {
    EXPECT_FALSE(ExistsWide(WideFromAnsi(tops[i]))) << AwkwardTrees()[i].label;
    RemoveTreeWide(WideFromAnsi(tops[i]));
  }
  EXPECT_EQ(ReadBytes(scratch / "victim\\keep.txt"), "keep");
}

// A file held open with delete sharing is deleted yet stays delete-pending: its folder
// stays, the trace log says which and why (and nothing of the parent that stays because of
// it), the file beside it goes, and the exit code tells the script.
TEST_F(AwkwardTreeRun, AFolderKeptByADeletePendingFileIsLoggedAndEndsWithExitCode1) {
  ScratchFolder scratch("awk_pending");
  const std::string tree = scratch / "Tree";
  WriteBytes(tree + "\\Sub\\pending.dat", "busy");
  WriteBytes(tree + "\\free.dat", "free");
  const UniqueFile holder = HoldSharingDeletion(WideFromAnsi(tree + "\\Sub\\pending.dat"));
  ASSERT_TRUE(holder.Valid());
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Delete_Folder]", tree, "[Delete_Folder_End]"});
  cleaner.WriteSettings(kUnattended);

  const CleanerExit exit = cleaner.Run("/TL");

  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u);
  std::vector<std::string> failures;
  for (const std::string& message : cleaner.LogMessages()) {
    if (message.starts_with("Could NOT")) failures.push_back(message);
  }
  EXPECT_EQ(failures, std::vector<std::string>{"Could NOT delete folder " + tree + "\\Sub - " +
                                               SystemErrorText(ERROR_DIR_NOT_EMPTY)});
  EXPECT_TRUE(Exists(tree + "\\Sub"));
  EXPECT_FALSE(Exists(tree + "\\free.dat"));
}
