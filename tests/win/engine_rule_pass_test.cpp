#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/gateway/recording_effects.h"
#include "engine/guards/folder_guard.h"
#include "engine/rules/placeholder_folders_win.h"
#include "engine/run/deletion.h"
#include "engine/run/rule_pass.h"
#include "platform/effects.h"
#include "platform/errors.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

namespace {

using Lines = std::vector<std::string>;
using Kind = RecordedAction::Kind;

class RulePass : public ::testing::Test {
 protected:
  // Runs one pass over the lines with the given effects; the trace log is on. Deletion and
  // the folders are the state's unless other options are given.
  void Run(EngineTestContext& test, const Lines& lines, bool lastLineEnd = true,
           const std::optional<RunOptions>& options = std::nullopt) {
    WriteRuleFile(rulePath_, lines, lastLineEnd);
    test.state.RuleFilePath = rulePath_;
    test.StartTrace(scratch_ / "VC.LOG");
    RunRulePass(test.context, options.value_or(UnattendedRunOptions(test.state)));
  }
  Lines Trace(EngineTestContext& test) { return test.TraceMessages(); }
  std::string Opened() const { return rulePath_ + " opened"; }

  ScratchFolder scratch_{"pass"};
  std::string rulePath_ = scratch_ / "Do_list.dat";
};

bool HasFileActions(const RecordingEffects& effects) {
  return effects.Count(Kind::RemoveFile) + effects.Count(Kind::RemoveFolder) + effects.Count(Kind::SetAttributes) > 0;
}

}  // namespace

// Nothing here opens a section: the lines are counted, nothing is done, and the run says so
// and counts it, so that a rule file that does nothing never reads as a clean machine.
TEST_F(RulePass, LinesOutsideSectionsAreOnlyCountedAndAFileWithoutSectionsIsReported) {
  const Lines lines = {"Rules for QRV 5",      "",
                       "[Registry_Delete_End]", "[Delete_File_End]",
                       "[registry_delete]",     "[Delete_File] ",
                       " [Delete_Folder]",      "HKEY_CURRENT_USER\\Software\\CleanerTests"};
  RecordingEffects effects;
  EngineTestContext test(effects);
  test.state.DeletePermission = true;
  Run(test, lines);
  EXPECT_EQ(test.state.Progress, 8);
  EXPECT_EQ(test.view.gaugeProgress, 8);
  EXPECT_TRUE(effects.actions.empty());
  EXPECT_EQ(Trace(test), (Lines{Opened(), kNoSectionFound}));
  EXPECT_EQ(test.reporter.infoLines, Lines{kNoSectionFound});
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
}

// A folder whose source could not be read stands for nothing: "%Program%\\Bin" would be
// "\\Bin", a folder from the root of the current drive.
TEST_F(RulePass, AnEntryUsingAPlaceholderThatStandsForNoFolderIsRefused) {
  RecordingEffects effects;
  EngineTestContext test(effects);
  test.state.DeletePermission = true;
  test.state.SharedFolder = scratch_ / "Shared";
  Run(test, {"[Delete_Folder]", "%Program%\\Bin", "%Shared%", "[Delete_Folder_End]"});
  EXPECT_EQ(test.reporter.infoLines,
            Lines{std::string(kRefusedUnsetPlaceholder) + "%Program%" + kStandsForNoFolder + "2"});
  for (const auto& action : effects.actions) EXPECT_EQ(action.target.rfind(test.state.SharedFolder, 0), 0u);
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
}

// A line naming a user's application data is one entry per profile the run covers, counted as
// one line: each profile's folder of that name goes, a profile without it is passed over.
TEST_F(RulePass, APerUserLineActsInEveryProfileOnce) {
  RecordingEffects effects;
  EngineTestContext test(effects);
  test.state.DeletePermission = true;
  test.state.UserFolders = {{scratch_ / "ann\\Roaming", scratch_ / "ann\\Local", ""},
                            {scratch_ / "bob\\Roaming", "", "S-1-5-21-1-2-3-1001"}};
  for (const char* file : {"ann\\Roaming\\Velmora\\a.ini", "bob\\Roaming\\Velmora\\a.ini", "ann\\Local\\Velmora\\c.db"}) {
    WriteBytes(scratch_ / file, "x");
  }
  Run(test, {"[Delete_Folder]", "%UserRoaming%\\Velmora", "%UserLocal%\\Velmora", "[Delete_Folder_End]"});
  Lines removed;
  for (const auto& action : effects.actions) {
    if (action.kind == Kind::RemoveFolder) removed.push_back(action.target);
  }
  EXPECT_EQ(removed, (Lines{scratch_ / "ann\\Roaming\\Velmora", scratch_ / "bob\\Roaming\\Velmora",
                            scratch_ / "ann\\Local\\Velmora"}));
  EXPECT_EQ(test.state.Progress, 4);
  EXPECT_TRUE(test.reporter.infoLines.empty()) << test.reporter.infoLines.front();
  EXPECT_EQ(test.context.outcome.ExitCode(), 0);
}

// The user's own Roaming and Local folders, as the system names them: a line naming one of them
// whole is refused by the folder guard and nothing in it is touched.
TEST_F(RulePass, AProfilesOwnApplicationDataFoldersAreNeverTargets) {
  RecordingEffects effects;
  EngineTestContext test(effects);
  test.state.DeletePermission = true;
  ReadPlaceholderFolders(test.state);
  ASSERT_EQ(test.state.UserFolders.size(), 1u);
  ASSERT_FALSE(test.state.UserFolders[0].roaming.empty());
  ASSERT_FALSE(test.state.UserFolders[0].local.empty());
  Run(test, {"[Delete_Folder]", "%UserRoaming%", "%UserLocal%\\", "[Delete_Folder_End]"});
  EXPECT_FALSE(HasFileActions(effects));
  EXPECT_EQ(test.reporter.infoLines.size(), 2u);
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
}

// A run ended by force leaves whole lines: whenever the next rule line is read, the log on
// disk ends with a line end and holds the entry carried out before it.
TEST_F(RulePass, TheLogOnDiskHoldsWholeLinesAfterEveryEntry) {
  struct DiskPeek : NoRunView {
    void SetGaugeProgress(int) override { seen.push_back(ReadBytes(path)); }
    std::string path;
    std::vector<std::string> seen;
  } peek;
  peek.path = scratch_ / "VC.LOG";
  RecordingEffects effects;
  EngineTestContext test(effects, nullptr, &peek);
  test.state.DeletePermission = true;
  Lines lines = {"[Delete_File]"};
  for (int i = 0; i < 40; ++i) lines.push_back(scratch_ / ("a rather long file name number " + std::to_string(i)));
  lines.push_back("[Delete_File_End]");
  Run(test, lines);
  ASSERT_EQ(peek.seen.size(), lines.size());
  for (std::size_t line = 2; line < peek.seen.size(); ++line) {
    const std::string& log = peek.seen[line];
    ASSERT_GE(log.size(), 2u) << line;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "at line " << line + 1;
    EXPECT_NE(log.find("DelFile " + std::to_string(line)), std::string::npos) << line;
  }
}

TEST_F(RulePass, EachEntryIsTracedWithItsLineNumberCarriedOutOrSkipped) {
  const std::string folder = scratch_ / "Folder";
  const std::string file = scratch_ / "file.txt";
  const Lines lines = {
      "QRV",                                                        // 1
      "[Registry_Delete]",                                          // 2
      "HKEY_CURRENT_USER\\Software\\CleanerTests\\absent_key",      // 3
      "[Registry_Delete_End]",                                      // 4
      "[Registry_Delete_Val]",                                      // 5
      "HKEY_CURRENT_USER\\Software\\CleanerTests\\absent_key=Val",  // 6
      "[Registry_Delete_Val_End]",                                  // 7
      "[Registry_Move_Val]",                                        // 8
      "HKEY_CURRENT_USER\\Software\\CleanerTests\\absent_key\\New=Old",  // 9
      "[Registry_Move_Val_End]",                                    // 10
      "[Delete_Folder]",                                            // 11
      folder,                                                       // 12
      "[Delete_Folder_End]",                                        // 13
      "[Delete_File]",                                              // 14
      file,                                                         // 15
      "",                                                           // 16
      "[Delete_File_End]",                                          // 17
      "end",                                                        // 18
  };
  const Lines expectedTrace = {Opened(),    "DeleteRegKey 3", "DeleteRegVal 6", "RenameRegVal 9",
                               "DelDir 12", "DelFile 15",     "DelFile 16"};
  for (const bool permission : {true, false}) {
    WriteBytes(folder + "\\inside.txt", "i");
    WriteBytes(file, "f");
    RecordingEffects effects;
    EngineTestContext test(effects);
    test.state.DeletePermission = permission;
    Run(test, lines);
    Lines expected = expectedTrace;
    if (!permission) {
      // What exists and may not be deleted stays, with its line, and counts as left.
      expected.insert(expected.begin() + 4, "Skipped (deletion not permitted): " + folder);
      expected.insert(expected.begin() + 6, "Skipped (deletion not permitted): " + file);
    }
    EXPECT_EQ(Trace(test), expected) << "permission " << permission;
    EXPECT_EQ(test.context.outcome.notRemoved, permission ? 0 : 2);
    EXPECT_EQ(test.state.Progress, 18);
    EXPECT_EQ(test.view.gaugeProgress, 18);
    if (permission) {
      EXPECT_EQ(effects.Count(Kind::RemoveFile), 2u);  // inside.txt and file.txt; the blank entry nothing
      EXPECT_EQ(effects.Count(Kind::RemoveFolder), 1u);
    } else {
      EXPECT_FALSE(HasFileActions(effects));
    }
  }
}

TEST_F(RulePass, WithoutPermissionDeleteFileEntriesAreReadCountedAndLoggedOnly) {
  const std::string file = scratch_ / "keep.txt";
  WriteBytes(file, "keep");
  EngineTestContext test;
  test.state.DeletePermission = false;
  Run(test, {"[Delete_File]", file, file + ".absent", "[Delete_File_End]"});
  // The entry whose file is not there leaves nothing behind.
  EXPECT_EQ(Trace(test), (Lines{Opened(), "Skipped (deletion not permitted): " + file, "DelFile 2", "DelFile 3"}));
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
  EXPECT_EQ(ReadBytes(file), "keep");
  EXPECT_EQ(test.state.Progress, 4);
}

TEST_F(RulePass, AHeaderOfAnotherKindInsideASectionIsAnEntryOfThatSection) {
  const std::string folder = scratch_ / "Folder";
  const std::string file = scratch_ / "file.txt";
  WriteBytes(folder + "\\inside.txt", "i");
  WriteBytes(file, "f");
  EngineTestContext test;
  test.state.DeletePermission = true;
  Run(test, {"[Delete_File]", "[Delete_Folder]", folder, file, "[Delete_Folder_End]", "[Registry_Delete]",
             "[Delete_File_End]", "[Delete_Folder_End]", folder});
  // Header texts taken for file entries are no drive paths: refused, never looked for.
  const auto refused = [](const std::string& entry) {
    return kNotPlainPathText + entry + " - " + PlainPathProblem(entry);
  };
  EXPECT_EQ(Trace(test), (Lines{Opened(), refused("[Delete_Folder]"), "DelFile 2", "DelFile 3", "DelFile 4",
                                refused("[Delete_Folder_End]"), "DelFile 5", refused("[Registry_Delete]"),
                                "DelFile 6"}));
  EXPECT_FALSE(Exists(file));
  EXPECT_EQ(ReadBytes(folder + "\\inside.txt"), "i");  // a file entry never deletes a folder
  EXPECT_EQ(test.state.Progress, 9);
}

TEST_F(RulePass, ASectionWithoutItsEndMarkerEndsWithTheFile) {
  const std::string first = scratch_ / "first.txt";
  const std::string second = scratch_ / "second.txt";
  for (const bool lastLineEnd : {true, false}) {
    WriteBytes(first, "1");
    WriteBytes(second, "2");
    EngineTestContext test;
    test.state.DeletePermission = true;
    Run(test, {"[Delete_File]", first, second}, lastLineEnd);
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
    EXPECT_EQ(test.state.Progress, 3);
    EXPECT_EQ(Trace(test), (Lines{Opened(), "DelFile 2", "DelFile 3"}));
  }
}

TEST_F(RulePass, PlaceholdersStandForTheFoldersTheRunWasGiven) {
  const std::string edited = scratch_ / "Edited";
  WriteBytes(edited + "\\qrv.dll", "q");
  WriteBytes(scratch_ / "Found\\qrv.dll", "q");
  EngineTestContext test;
  test.state.DeletePermission = true;
  test.state.ProgramFolder = scratch_ / "Found";
  RunOptions options = UnattendedRunOptions(test.state);
  options.programFolder = edited;
  Run(test, {"[Delete_File]", "%Program%\\qrv.dll", "[Delete_File_End]"}, true, options);
  EXPECT_FALSE(Exists(edited + "\\qrv.dll"));
  EXPECT_TRUE(Exists(scratch_ / "Found\\qrv.dll"));
}

TEST_F(RulePass, RegistrySectionsAreCarriedOut) {
  ScratchKey key("pass_reg");
  key.Create("Doomed\\Below");
  key.SetString("Doomed\\Below", "v", "x");
  key.SetString("", "Gone", "g");
  key.SetString("", "Old", "text");
  const std::string root = "HKEY_CURRENT_USER\\" + key.Path();
  EngineTestContext test;
  Run(test, {"[Registry_Delete]", root + "\\Doomed", "[Registry_Delete_End]", "[Registry_Delete_Val]",
             root + "=Gone", "[Registry_Delete_Val_End]", "[Registry_Move_Val]", root + "\\New=Old",
             "[Registry_Move_Val_End]"});
  EXPECT_FALSE(key.Exists("Doomed"));
  EXPECT_FALSE(key.HasValue("", "Gone"));
  EXPECT_FALSE(key.HasValue("", "Old"));
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(key.GetRaw("", "New", &type, &bytes));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, std::string("text", 5));
}

TEST_F(RulePass, AMissingRuleFileRaisesFileNotFound) {
  EngineTestContext test;
  test.state.RuleFilePath = scratch_ / "Absent.dat";
  test.state.Progress = 5;
  test.StartTrace(scratch_ / "VC.LOG");
  try {
    RunRulePass(test.context, UnattendedRunOptions(test.state));
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), "File not found");
  }
  EXPECT_EQ(test.state.Progress, 0);
  EXPECT_TRUE(test.TraceMessages().empty());
}

namespace {
// Raises from the gateway's write: stands for any error raised below the pass, as a trace log
// write on a full disk raises EInOutError on Windows.
class RaisingEffects : public LiveEffects {
 public:
  LONG WriteRegistryValue(HKEY, const std::wstring& value, DWORD, const std::vector<BYTE>&,
                          const std::wstring&) override {
    throw ERegistryException("Failed to set data for '" + AnsiFromWide(value) + "'");
  }
};
}  // namespace

TEST_F(RulePass, AnErrorEndsThePassAtOnceWithTheFileClosed) {
  ScratchKey key("pass_err");
  key.SetDword("", "Number", 7);
  const std::string after = scratch_ / "after.txt";
  WriteBytes(after, "a");
  const Lines lines = {"[Registry_Move_Val]", "HKEY_CURRENT_USER\\" + key.Path() + "\\New=Number",
                       "[Registry_Move_Val_End]", "[Delete_File]", after, "[Delete_File_End]"};
  RaisingEffects raising;
  for (int pass = 1; pass <= 2; ++pass) {
    EngineTestContext test(raising);
    test.state.DeletePermission = true;
    EXPECT_THROW(Run(test, lines), ERegistryException);
    EXPECT_EQ(test.state.Progress, 2) << "pass " << pass;
    EXPECT_EQ(Trace(test), Lines{Opened()});
    EXPECT_TRUE(Exists(after));
    EXPECT_TRUE(key.HasValue("", "Number"));
    EXPECT_FALSE(key.HasValue("", "New"));
    // Nobody holds the rule file any more: it opens for writing without sharing.
    HANDLE file = CreateFileA(rulePath_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}
