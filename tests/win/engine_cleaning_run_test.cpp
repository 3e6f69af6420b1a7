#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/run/cleaning_run.h"
#include "engine/guards/folder_safety.h"
#include "engine/run/registry_actions.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "ui/desktop_reporter.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// A machine after start-up: two product folders and a Start Menu folder with files, a
// registry key the rules delete, and the rule file; deletion and link removal checked.
class CleaningRun : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = scratch_ / "Program Files\\QRV";
    shared_ = scratch_ / "Common Files\\Velmora";
    startMenu_ = scratch_ / "Start Menu\\QRV";
    for (const auto& folder : {program_, shared_, startMenu_}) WriteBytes(folder + "\\file.dat", "x");
    key_.Create("Product");
    WriteRuleFile(scratch_ / "Do_list.dat",
                  {"[Registry_Delete]", "HKEY_CURRENT_USER\\" + key_.Path() + "\\Product", "[Registry_Delete_End]",
                   "[Delete_Folder]", "%Program%", "%Shared%", "[Delete_Folder_End]"});

    CleanerState& state = test_.state;
    state.RuleFilePath = scratch_ / "Do_list.dat";
    state.StartMenuFolder = startMenu_;
    state.ProgramFolder = state.InitialProgramFolder = program_;
    state.SharedFolder = state.InitialSharedFolder = shared_;
    state.DeletePermission = true;
    options_.endProcesses = false;  // no product processes in these runs
    options_.deleteShortcuts = true;
    test_.StartTrace(scratch_ / "VC.LOG");
  }

  // What Start hands the run: the fixture's switches, deletion as the state grants it now.
  RunOptions Options() const {
    RunOptions options = options_;
    options.deleteFilesAndFolders = test_.state.DeletePermission;
    options.programFolder = test_.state.ProgramFolder;
    options.sharedFolder = test_.state.SharedFolder;
    options.initialProgramFolder = test_.state.InitialProgramFolder;
    options.initialSharedFolder = test_.state.InitialSharedFolder;
    return options;
  }
  void Run() { RunCleaning(test_.context, Options()); }
  void Edit(const std::string& folder) {
    WriteBytes(folder + "\\file.dat", "x");
    test_.state.ProgramFolder = folder;
  }
  std::string Question(const std::string& program) const {
    return "Do you really want to delete all files in " + program + " and " + shared_ + " ?";
  }
  bool ProductKeyExists() const { return key_.Exists("Product"); }
  // Another context in the state of this one (its trace log off).
  void CopyInto(EngineTestContext& other) const {
    other.state = test_.state;
    other.state.TraceLogOn = false;
  }

  ScratchFolder scratch_{"run"};
  ScratchKey key_{"run"};
  EngineTestContext test_;
  RunOptions options_;
  std::string program_, shared_, startMenu_;
};

}  // namespace

TEST_F(CleaningRun, WithUnchangedFoldersEverythingIsDeletedWithoutAsking) {
  Run();
  EXPECT_TRUE(test_.reporter.questions.empty());
  EXPECT_FALSE(Exists(program_));
  EXPECT_FALSE(Exists(shared_));
  EXPECT_FALSE(Exists(startMenu_));
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_EQ(test_.reporter.messages, Lines{"Registry clean complete"});
  EXPECT_EQ(test_.state.Progress, 7);
  EXPECT_FALSE(test_.context.runUnderWay);
}

// A rule that first deletes the Shell Folders value naming a folder does not switch off that
// folder's protection: the value itself is protected, and the protected list is read before
// the first entry anyway.
TEST_F(CleaningRun, DeletingAShellFoldersValueFirstLeavesItsFolderProtected) {
  const char* const shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, shellFolders, 0, KEY_ALL_ACCESS, key.Put()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.Get(), "Velmora Guarded", 0, REG_SZ, reinterpret_cast<const BYTE*>(program_.c_str()),
                           static_cast<DWORD>(program_.size() + 1)),
            ERROR_SUCCESS);
  WriteRuleFile(scratch_ / "Do_list.dat", {"[Registry_Delete_Val]",
                                           "HKEY_CURRENT_USER\\" + std::string(shellFolders) + "=Velmora Guarded",
                                           "[Registry_Delete_Val_End]", "[Delete_Folder]", "%Program%",
                                           "[Delete_Folder_End]"});
  Run();
  RegDeleteValueA(key.Get(), "Velmora Guarded");
  EXPECT_TRUE(Exists(program_ + "\\file.dat"));
  EXPECT_EQ(test_.reporter.infoLines,
            (Lines{std::string(kRefusedProtectedValue) + "HKEY_CURRENT_USER\\" + shellFolders + "\\Velmora Guarded",
                   kRefusedFolderText + program_}));
  EXPECT_EQ(test_.context.outcome.ExitCode(), 1);
}

TEST_F(CleaningRun, WithDeletionOffNothingIsAskedOrDeletedButTheRegistryIsCleaned) {
  test_.state.DeletePermission = false;
  Edit(scratch_ / "Edited");
  Run();
  EXPECT_TRUE(test_.reporter.questions.empty());
  EXPECT_TRUE(Exists(scratch_ / "Edited\\file.dat"));
  EXPECT_TRUE(Exists(shared_ + "\\file.dat"));
  EXPECT_TRUE(Exists(startMenu_ + "\\file.dat"));
  EXPECT_FALSE(ProductKeyExists());
  const Lines trace = test_.TraceMessages();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "DelDir 5"), 1);
  EXPECT_EQ(trace.back(), "Registry clean complete");
}

TEST_F(CleaningRun, AnEditedFolderIsConfirmedAndNoTurnsDeletionOffForLaterRuns) {
  const std::string edited = scratch_ / "Edited";
  Edit(edited);
  test_.reporter.confirmAnswer = false;
  Run();
  EXPECT_EQ(test_.reporter.questions, Lines{Question(edited)});
  EXPECT_FALSE(test_.state.DeletePermission);
  EXPECT_EQ(test_.view.deletionRefusals, 1);
  EXPECT_TRUE(Exists(edited + "\\file.dat"));
  EXPECT_TRUE(Exists(shared_ + "\\file.dat"));
  EXPECT_TRUE(Exists(startMenu_ + "\\file.dat"));
  EXPECT_FALSE(ProductKeyExists());

  key_.Create("Product");
  Run();
  EXPECT_EQ(test_.reporter.questions.size(), 1u);
  EXPECT_TRUE(Exists(edited + "\\file.dat"));
  EXPECT_TRUE(Exists(startMenu_ + "\\file.dat"));
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_EQ(test_.reporter.messages.size(), 2u);
}

TEST_F(CleaningRun, TheRealConfirmationBoxAnsweredNoTurnsDeletionOff) {
  const std::string edited = scratch_ / "Edited";
  Edit(edited);
  DesktopReporter desktop;
  EngineTestContext test(LiveEffects::Instance(), &desktop);
  CopyInto(test);
  {
    DialogAnswerer answerer({DialogAnswer::Press(IDNO), DialogAnswer::Press(IDOK)});
    RunCleaning(test.context, Options());
    const auto dialogs = answerer.Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0].caption, "Confirm File Delete");
    EXPECT_EQ(dialogs[0].text, Question(edited));
    EXPECT_EQ(dialogs[1].text, "Registry clean complete");
  }
  EXPECT_FALSE(test.state.DeletePermission);
  EXPECT_EQ(test.view.deletionRefusals, 1);
  EXPECT_TRUE(Exists(edited + "\\file.dat"));
  EXPECT_FALSE(ProductKeyExists());
  {
    DialogAnswerer answerer(IDOK);
    RunCleaning(test.context, UnattendedRunOptions(test.state));
    const auto dialogs = answerer.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "Registry clean complete");
  }
  EXPECT_TRUE(Exists(edited + "\\file.dat"));
}

// The field is edited again while the question is open: the run deletes the folder the
// question named, not the one the field holds by the time of the answer.
TEST_F(CleaningRun, TheRunDeletesTheFoldersTheQuestionNamed) {
  const std::string confirmed = scratch_ / "Confirmed";
  const std::string typedLater = scratch_ / "TypedLater";
  Edit(confirmed);
  WriteBytes(typedLater + "\\file.dat", "x");
  test_.reporter.whileAsking = [&] { test_.state.ProgramFolder = typedLater; };
  Run();
  EXPECT_EQ(test_.reporter.questions, Lines{Question(confirmed)});
  EXPECT_FALSE(Exists(confirmed));
  EXPECT_TRUE(Exists(typedLater + "\\file.dat"));
}

TEST_F(CleaningRun, AnEditedFolderConfirmedWithYesIsDeleted) {
  const std::string edited = scratch_ / "Edited";
  Edit(edited);
  test_.reporter.confirmAnswer = true;
  Run();
  EXPECT_EQ(test_.reporter.questions, Lines{Question(edited)});
  EXPECT_TRUE(test_.state.DeletePermission);
  EXPECT_FALSE(Exists(edited));
  EXPECT_FALSE(Exists(shared_));
  EXPECT_TRUE(Exists(program_ + "\\file.dat"));  // no longer named by the rules
  EXPECT_FALSE(Exists(startMenu_));
}

TEST_F(CleaningRun, LinksAreRemovedOnlyTogetherWithFilesAndFolders) {
  const struct {
    bool deleting, links, removed;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
  for (const auto& c : cases) {
    WriteBytes(startMenu_ + "\\file.dat", "x");
    RunOptions options = Options();
    options.deleteFilesAndFolders = c.deleting;
    options.deleteShortcuts = c.links;
    RunCleaning(test_.context, options);
    EXPECT_EQ(Exists(startMenu_), !c.removed) << c.deleting << c.links;
  }
}

// A START setting that names the whole Programs folder must not empty it.
TEST_F(CleaningRun, AStartMenuFolderThatIsAShellFolderIsRefused) {
  char programs[MAX_PATH] = {};
  DWORD size = sizeof programs;
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         "Programs", RRF_RT_REG_SZ, nullptr, programs, &size),
            ERROR_SUCCESS);
  RecordingEffects effects;  // should the guard fail, nothing is deleted all the same
  EngineTestContext test(effects);
  CopyInto(test);
  test.state.StartMenuFolder = programs;
  RunCleaning(test.context, Options());
  EXPECT_EQ(std::count(test.reporter.infoLines.begin(), test.reporter.infoLines.end(),
                       kRefusedFolderText + std::string(programs)),
            1);
  for (const auto& action : effects.actions) {
    EXPECT_NE(action.target.rfind(std::string(programs) + "\\", 0), 0u) << action.target;
    EXPECT_NE(action.target, programs);
  }
}

TEST_F(CleaningRun, TheCompletionMessageComesOnlyInRunModeZeroTheTraceLineAlways) {
  for (const int runMode : {0, 1}) {
    EngineTestContext test;
    test.state.RuleFilePath = test_.state.RuleFilePath;
    test.state.RunMode = runMode;
    test.StartTrace(scratch_ / ("mode" + std::to_string(runMode) + ".log"));
    RunCleaning(test.context, options_);
    EXPECT_EQ(test.reporter.messages.size(), runMode == 0 ? 1u : 0u);
    const Lines trace = test.TraceMessages();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), test.state.RuleFilePath + " opened");
    EXPECT_EQ(trace.back(), "Registry clean complete");
  }
}

TEST_F(CleaningRun, AMissingRuleFileFailsAfterTheProcessesWereEnded) {
  const std::string fakeProduct = scratch_ / "ZdnM.exe";
  ASSERT_TRUE(CopyFileA(HelperPath("sleeper.exe").c_str(), fakeProduct.c_str(), FALSE));
  HelperProcess product(fakeProduct);
  test_.state.RuleFilePath = scratch_ / "Absent.dat";
  options_.endProcesses = true;
  try {
    Run();
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), "File not found");
  }
  EXPECT_TRUE(product.HasExited());
  EXPECT_TRUE(Exists(startMenu_ + "\\file.dat"));
  EXPECT_TRUE(test_.reporter.messages.empty());
  EXPECT_FALSE(test_.context.runUnderWay);
  const Lines trace = test_.TraceMessages();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "ZdnM.exe try to kill"), trace.end());
  EXPECT_EQ(std::find(trace.begin(), trace.end(), "Registry clean complete"), trace.end());
}

TEST_F(CleaningRun, WithoutTheKillBoxNoProcessIsTouched) {
  const std::string fakeProduct = scratch_ / "ZdnM.exe";
  ASSERT_TRUE(CopyFileA(HelperPath("sleeper.exe").c_str(), fakeProduct.c_str(), FALSE));
  HelperProcess product(fakeProduct);
  Run();
  EXPECT_FALSE(product.HasExited());
  for (const auto& line : test_.TraceMessages()) EXPECT_EQ(line.find("try to kill"), std::string::npos) << line;
}

TEST_F(CleaningRun, AStartDuringARunIsIgnored) {
  Edit(scratch_ / "Edited");
  test_.reporter.whileAsking = [this] { Run(); };
  Run();
  EXPECT_EQ(test_.reporter.questions.size(), 1u);
  EXPECT_EQ(test_.reporter.messages.size(), 1u);
  EXPECT_EQ(test_.state.Progress, 7);
  const Lines trace = test_.TraceMessages();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "Registry clean complete"), 1);
  EXPECT_EQ(std::count(trace.begin(), trace.end(), test_.state.RuleFilePath + " opened"), 1);
}

TEST_F(CleaningRun, AnErrorLeavesTheWayFreeForTheNextRun) {
  test_.state.RuleFilePath = scratch_ / "Absent.dat";
  EXPECT_THROW(Run(), EInOutError);
  EXPECT_FALSE(test_.context.runUnderWay);
  test_.state.RuleFilePath = scratch_ / "Do_list.dat";
  Run();
  EXPECT_FALSE(Exists(program_));
  EXPECT_EQ(test_.reporter.messages, Lines{"Registry clean complete"});
}
