#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/guards/folder_guard.h"
#include "engine/rules/rule_file.h"
#include "engine/run_options.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "startup/startup.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/trace_messages.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/startup_rig.h"

namespace {

constexpr char kMissingRuleFile[] = "File with rule does not Exist";

// Makes a scratch folder the current folder (where the trace log goes) for one test.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::string previous_;
};

std::string RuleFileBytes(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += ScrambleLine(line) + "\r\n";
  return bytes;
}

// The program folder is a scratch folder: the settings and rule files are put beside a
// Cleaner.exe that need not exist, and start-up runs with a given command line.
class StartupTest : public ::testing::Test {
 protected:
  std::string ExePath() const { return scratch_ / "Cleaner.exe"; }
  std::string LogPath() const { return scratch_ / "VC.LOG"; }

  void WriteSettings(const std::string& text) { WriteBytes(scratch_ / "QRV_RC.INI", text); }
  void WriteRules(const std::vector<std::string>& lines) { WriteBytes(scratch_ / "Do_list.dat", RuleFileBytes(lines)); }

  void Start(const std::string& arguments = "") {
    RunStartupFor(rig_.context, "\"" + ExePath() + "\" " + arguments, ExePath());
  }
  std::vector<std::string> Log() {
    rig_.trace.Close();
    return TraceMessages(LogPath());
  }

  ScratchFolder scratch_{"startup"};
  CurrentFolder current_{scratch_.Path()};
  StartupRig rig_;
};

TEST_F(StartupTest, WithoutSettingsOrSwitchTheDefaultsStandAndTheRuleFileIsCounted) {
  WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\Nothing", "[Registry_Delete_End]"});
  Start();
  EXPECT_EQ(rig_.state.RunMode, 0);
  EXPECT_TRUE(rig_.state.OptKillProcess);
  EXPECT_FALSE(rig_.state.OptDelete);
  EXPECT_FALSE(rig_.state.OptDelLink);
  EXPECT_FALSE(rig_.state.TraceLogOn);
  EXPECT_FALSE(IsExistingFile(LogPath())) << "no /TL, no log";
  EXPECT_EQ(rig_.state.RuleFilePath, scratch_ / "Do_list.dat");
  EXPECT_EQ(rig_.state.RuleCount, 3);
  EXPECT_EQ(rig_.view.statusText, "Base records : 3");
  EXPECT_EQ(rig_.view.gaugeMinimum, 0);
  EXPECT_EQ(rig_.view.gaugeMaximum, 3);
  EXPECT_TRUE(rig_.reporter.messages.empty());
  EXPECT_FALSE(rig_.context.outcome.errorShown);
  EXPECT_TRUE(IsExistingFolder(rig_.state.WindowsFolder));
  EXPECT_TRUE(IsExistingFolder(rig_.state.SystemFolder));
  const RunOptions options = UnattendedRunOptions(rig_.state);
  EXPECT_TRUE(options.endProcesses);
  EXPECT_FALSE(options.deleteFilesAndFolders);
  EXPECT_FALSE(options.deleteShortcuts);
  EXPECT_TRUE(rig_.effects.actions.empty()) << "run mode 0 cleans nothing at start-up";
}

TEST_F(StartupTest, TheTraceSwitchInAnyCaseOpensTheLogInTheCurrentFolder) {
  for (const std::string arguments : {"/TL", "/tl", "/Tl /ALLUSERS", "/TL /TL"}) {
    SCOPED_TRACE(arguments);
    DeleteFileA(LogPath().c_str());
    StartupRig rig;
    WriteRules({"line"});
    RunStartupFor(rig.context, "\"" + ExePath() + "\" " + arguments, ExePath());
    EXPECT_TRUE(rig.state.TraceLogOn);
    rig.trace.Close();
    const auto messages = TraceMessages(LogPath());
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Log file created");
    EXPECT_EQ(messages[1], "ReadIni complete");
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Log file created"), 1) << "a repeated switch keeps the log";
    const auto settings = std::count_if(messages.begin(), messages.end(), [](const std::string& line) {
      return line.rfind("Setting in effect: ", 0) == 0;
    });
    EXPECT_EQ(settings, 10);
    EXPECT_EQ(messages[2 + static_cast<std::size_t>(settings)], "Rule file checked");
  }
}

TEST_F(StartupTest, ArgumentsThatOnlyResembleTheSwitchEndStartUpBeforeTheLogOrAnything) {
  WriteRules({"line"});
  for (const char* arguments : {"/TLX", "TL", "-TL", "\"/TL \""}) {
    SCOPED_TRACE(arguments);
    EXPECT_THROW(Start(arguments), Exception);
    EXPECT_FALSE(rig_.state.TraceLogOn);
    EXPECT_FALSE(IsExistingFile(LogPath()));
    EXPECT_EQ(rig_.state.WindowsFolder, "") << "start-up ended at the command line";
  }
}

TEST_F(StartupTest, AMissingRuleFileIsReportedAndStartUpGoesOn) {
  WriteSettings("[Folder]\r\nPROGRAM=C:\\Mine\r\n[End_Folder]\r\n");
  Start("/TL");
  EXPECT_EQ(rig_.reporter.messages, std::vector<std::string>{kMissingRuleFile});
  EXPECT_TRUE(rig_.context.outcome.errorShown);
  EXPECT_EQ(rig_.context.outcome.ExitCode(), 2);
  EXPECT_EQ(rig_.view.statusText, "");
  EXPECT_EQ(rig_.view.gaugeMaximum, 100);
  EXPECT_EQ(rig_.state.ProgramFolder, "C:\\Mine") << "start-up went on";
  const auto log = Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "ReadIni complete");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Rule file checked"), 0);
}

TEST_F(StartupTest, TheFoldersAreTheSettingsElseTheDiscoveredOnesAndAreShownOnce) {
  WriteRules({"x"});
  WriteSettings("[Folder]\r\nSHARED=D:\\Shared Here\r\n[End_Folder]\r\n");
  Start();
  // Wine's Program Files holds no product folder: the first name is taken all the same.
  EXPECT_EQ(rig_.state.ProgramFolder, rig_.state.ProgramFilesFolder + "\\Velmora Lab");
  EXPECT_EQ(rig_.state.SharedFolder, "D:\\Shared Here");
  EXPECT_EQ(rig_.state.InitialProgramFolder, rig_.state.ProgramFolder);
  EXPECT_EQ(rig_.state.InitialSharedFolder, "D:\\Shared Here");
  ASSERT_TRUE(rig_.view.choices.has_value());
  EXPECT_EQ(rig_.view.choices->SharedFolder, "D:\\Shared Here");
}

// "drivers" with System32 as the current folder would be System32\drivers: a settings folder
// counts only as a plain drive path, and a refused one leaves the folder empty.
TEST_F(StartupTest, ASettingsFolderThatIsNotAPlainDrivePathIsRefusedWithALine) {
  WriteRules({"x"});
  WriteSettings("[Folder]\r\nPROGRAM=drivers\r\nSHARED=\\??\\C:\\windows\r\n[End_Folder]\r\n");
  Start();
  EXPECT_EQ(rig_.state.ProgramFolder, "");
  EXPECT_EQ(rig_.state.SharedFolder, "");
  EXPECT_EQ(rig_.context.outcome.ExitCode(), 1);
  EXPECT_EQ(rig_.reporter.infoLines,
            (std::vector<std::string>{kSettingsFolderRefusedText + std::string("PROGRAM=drivers - ") +
                                          PlainPathProblem(std::string_view("drivers")),
                                      kSettingsFolderRefusedText + std::string("SHARED=\\??\\C:\\windows - ") +
                                          PlainPathProblem(std::string_view("\\??\\C:\\windows"))}));
}

TEST_F(StartupTest, TheHintNamesTheStartMenuFolderOnlyWhenOneIsKnown) {
  WriteRules({"x"});
  Start();
  EXPECT_EQ(rig_.state.StartMenuFolder, "") << "Wine's Start Menu holds no product folder";
  ASSERT_TRUE(rig_.view.choices.has_value());
  EXPECT_EQ(rig_.view.choices->StartMenuFolder, "");

  StartupRig rig;
  WriteSettings("[Folder]\r\nSTART=C:\\Menu\\QRV\r\n[End_Folder]\r\n");
  RunStartupFor(rig.context, ExePath(), ExePath());
  ASSERT_TRUE(rig.view.choices.has_value());
  EXPECT_EQ(rig.view.choices->StartMenuFolder, "C:\\Menu\\QRV");
}

struct OptionsCase {
  const char* settings;
  bool endProcesses, deleteFiles, deleteShortcuts;
};

TEST_F(StartupTest, TheSettingsMakeTheUnattendedRunsOptions) {
  const std::vector<OptionsCase> cases = {
      {"", true, false, false},
      {"DELETE=1", true, true, false},
      {"DELETE=1\r\nDEL_LINK=1", true, true, true},
      {"DEL_LINK=1", true, false, false},  // links go only together with files
      {"DELETE=yes\r\nDEL_LINK=1", true, false, false},
      {"KILLPROCESS=0", false, false, false},
      {"killprocess=1\r\ndelete=1", true, true, false},
  };
  WriteRules({"x"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    WriteSettings(std::string("[Options]\r\n") + c.settings + "\r\n[End_Options]\r\n");
    StartupRig rig;
    RunStartupFor(rig.context, ExePath(), ExePath());
    const RunOptions options = UnattendedRunOptions(rig.state);
    EXPECT_EQ(options.endProcesses, c.endProcesses);
    EXPECT_EQ(options.deleteFilesAndFolders, c.deleteFiles);
    EXPECT_EQ(rig.state.DeletePermission, c.deleteFiles);
    EXPECT_EQ(options.deleteShortcuts, c.deleteShortcuts);
  }
}

// Saved by an editor that ends lines with LF alone: read as if they ended with CR LF.
TEST_F(StartupTest, ASettingsFileWithLineFeedsOnlyIsRead) {
  WriteRules({"x"});
  WriteSettings("[Mode]\nSILENT=0\n[End_Mode]\n[Options]\nDELETE=1\n[End_Options]\n[Folder]\nBACKUP=C:\\Bk\n[End_Folder]\n");
  Start();
  EXPECT_TRUE(rig_.state.OptDelete);
  EXPECT_EQ(rig_.state.BackupFolder, "C:\\Bk");
  EXPECT_TRUE(rig_.effects.actions.empty());
}

TEST_F(StartupTest, AnInvalidSilentValueEndsStartUpWithTheSettingsReadSoFar) {
  WriteRules({"x"});
  WriteSettings("[Folder]\r\nPROGRAM=C:\\P\r\n[End_Folder]\r\n[Mode]\r\nSILENT=abc\r\n[End_Mode]\r\n"
                "[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  try {
    Start("/TL");
    FAIL() << "no error raised";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.what(), scratch_ / "QRV_RC.INI" + ": SILENT=abc: 'abc' is not a valid integer value");
  }
  EXPECT_EQ(rig_.state.FolderProgram, "C:\\P");
  EXPECT_FALSE(rig_.state.OptDelete) << "entries after the bad one are not read";
  EXPECT_EQ(rig_.view.statusText, "") << "start-up ended at the settings";
  EXPECT_FALSE(rig_.view.choices.has_value());
  EXPECT_EQ(Log(), std::vector<std::string>{"Log file created"});
  // The settings file was closed although the error escaped: it opens exclusively.
  HANDLE file = CreateFileA((scratch_ / "QRV_RC.INI").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

TEST_F(StartupTest, RunModeTwoIsAnErrorThatEndsStartUpWithoutCleaning) {
  TemporaryKey key(HKEY_CURRENT_USER, "Software\\VelmoraStartupTest" + std::to_string(GetCurrentProcessId()));
  SeedKey(HKEY_CURRENT_USER, key.Path());
  WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\" + key.Path(), "[Registry_Delete_End]"});
  WriteSettings("[Mode]\r\nSILENT=2\r\n[End_Mode]\r\n[Options]\r\nKILLPROCESS=0\r\n[End_Options]\r\n");
  EXPECT_THROW(Start("/TL"), EConvertError);
  EXPECT_TRUE(rig_.effects.actions.empty());
  const auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "ReadIni complete"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Registry clean complete"), 0);
}

TEST_F(StartupTest, RunModeOneRunsTheCleaningAtTheEndOfStartUp) {
  const std::string keyPath = "Software\\VelmoraStartupTest" + std::to_string(GetCurrentProcessId());
  TemporaryKey key(HKEY_CURRENT_USER, keyPath);
  SeedKey(HKEY_CURRENT_USER, keyPath);
  WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\" + keyPath, "[Registry_Delete_End]"});
  WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nKILLPROCESS=0\r\n[End_Options]\r\n");
  Start("/TL");
  ASSERT_EQ(rig_.effects.Count(RecordedAction::Kind::DeleteKey), 1u);
  EXPECT_NE(rig_.effects.actions[0].target.find(keyPath), std::string::npos);
  EXPECT_TRUE(rig_.reporter.messages.empty()) << "no completion message in run mode 1";
  const auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Registry clean complete");
}

}  // namespace
