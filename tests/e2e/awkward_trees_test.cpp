#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/cleaner_folder.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"

namespace {

constexpr char kTreeFileNotDeleted[] = "Could NOT delete   ";

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

// Folders of 60 characters one below the other, each with a file, far beyond the 260
// characters the ANSI calls take. An unattended run deletes what it can reach, touches
// nothing outside the tree, names in the trace log everything it had to leave, and ends
// with exit code 1 so that a script learns that something stayed.
TEST(HardeningDeepTree, UnattendedRunTouchesNothingOutsideReportsWhatStaysAndEndsWithExitCode1) {
  ScratchFolder scratch("hard_deep");
  const std::string tree = scratch / "Deep";
  WriteBytes(scratch / "Deep_outside\\keep.txt", "keep");
  WriteBytes(scratch / "beside.txt", "beside");
  std::wstring level = Widened(tree);
  std::vector<std::wstring> levels;
  while (level.size() < 420) {
    level += L"\\" + std::wstring(60, L'd');
    levels.push_back(level);
    MakeFoldersWide(level);
    WriteFileWide(level + L"\\f.txt", "f");
  }
  ASSERT_GT(levels.back().size(), 300u);

  CleanerFolder cleaner;
  cleaner.WriteRules({"[Delete_Folder]", tree, "[Delete_Folder_End]"});
  cleaner.WriteSettings(
      "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nKILLPROCESS=0\r\n[End_Options]\r\n");
  const CleanerExit exit = cleaner.Run("/TL");

  ASSERT_TRUE(exit.finished);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_EQ(exit.exitCode, 1u);
  EXPECT_EQ(ReadBytes(scratch / "Deep_outside\\keep.txt"), "keep");
  EXPECT_EQ(ReadBytes(scratch / "beside.txt"), "beside");
  EXPECT_FALSE(ExistsWide(levels.front() + L"\\f.txt"));

  std::vector<std::wstring> reported;
  for (const std::string& message : cleaner.LogMessages()) {
    if (!StartsWith(message, kTreeFileNotDeleted)) continue;
    const std::string path = message.substr(sizeof kTreeFileNotDeleted - 1);
    EXPECT_TRUE(StartsWith(path, tree + "\\")) << message;
    reported.push_back(Widened(path));
  }
  ASSERT_FALSE(reported.empty()) << "nothing reported, yet the tree cannot be removed whole";
  // Everything left is a reported entry, lies inside one, or is a folder holding one.
  const std::vector<std::wstring> left = ListTreeWide(Widened(tree));
  EXPECT_FALSE(left.empty());
  for (const std::wstring& path : left) {
    const bool explained = std::any_of(reported.begin(), reported.end(), [&](const std::wstring& r) {
      return path == r || path.rfind(r + L"\\", 0) == 0 || r.rfind(path + L"\\", 0) == 0;
    });
    EXPECT_TRUE(explained) << Narrowed(path) << " stayed without a report";
  }
  RemoveTreeWide(Widened(tree));
}
