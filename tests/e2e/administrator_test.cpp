#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/machine_snapshot.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/trace_messages.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kUnattended[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n";

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool StartsWithAny(const Strings& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// The number after "name" in a flat JSON text ("name":N).
long long JsonNumber(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const std::size_t at = json.find(key);
  if (at == std::string::npos) return -1;
  return std::stoll(json.substr(at + key.size()));
}

// The number before word in the trace log's last line ("... 3 left, ...").
long long SummaryNumber(const std::string& summary, const std::string& word) {
  const std::size_t at = summary.find(" " + word);
  if (at == std::string::npos) return -1;
  const std::size_t start = summary.rfind(' ', at - 1) + 1;
  return std::stoll(summary.substr(start, at - start));
}

}  // namespace

TEST(CleanerCommandLine, EveryMistakeEndsAtOnceWithItsCodeNoWindowAndNothingChanged) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  cleaner.WriteSettings(std::string(kUnattended) + "[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  const struct {
    const char* arguments;
    const char* problem;
  } cases[] = {
      {"/?x", "Unknown switch: /?x"},
      {"/QUIET", "Unknown switch: /QUIET"},
      {"-Q", "Unknown switch: -Q"},
      {"/S", "Unknown switch: /S"},
      {"/qn", "Unknown switch: /qn"},
      {"/TL=C:\\My Logs\\q5.log", "Unexpected word: Logs\\q5.log (a value with blanks must be quoted)"},
      {"/UNDO=C:\\Backup\\run /BACKUP=C:\\Backup", "/UNDO and /BACKUP cannot be used together"},
      {"/BACKUP", "/BACKUP needs a value: /BACKUP=..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CapturedExit exit = cleaner.RunCapturingOutput(c.arguments, 10000);
    ASSERT_TRUE(exit.finished) << "a window or box waited";
    EXPECT_EQ(exit.exitCode, 1639u);
    EXPECT_NE(exit.output.find(c.problem), std::string::npos) << exit.output;
    EXPECT_NE(exit.output.find("/DETECT"), std::string::npos) << "the usage follows";
    EXPECT_FALSE(cleaner.HasLog());
    EXPECT_EQ(installation.TargetsGone(), Strings{});
  }
  // Quiet and without a place for the text, nothing is shown either.
  const CleanerExit quiet = cleaner.Run("/Q /nonsense", 10000);
  ASSERT_TRUE(quiet.finished);
  EXPECT_EQ(quiet.exitCode, 1639u);
  EXPECT_TRUE(quiet.dialogs.empty());
  EXPECT_FALSE(quiet.mainWindowShown);

  for (const char* asked : {"/?", "/HELP", "/version"}) {
    const CapturedExit exit = cleaner.RunCapturingOutput(asked, 10000);
    ASSERT_TRUE(exit.finished) << asked;
    EXPECT_EQ(exit.exitCode, 0u) << asked;
    const std::string expected = std::string(asked) == "/version" ? "Velmora Cleaner " : "Exit codes:";
    EXPECT_NE(exit.output.find(expected), std::string::npos) << asked << ": " << exit.output;
  }
  EXPECT_EQ(installation.TargetsGone(), Strings{});
}

TEST(CleanerCommandLine, SettingsOnTheCommandLineCountOverTheFileAndSkippedDeletionsCountAsLeft) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  // The documented command with no settings file: the folders stay, and say so.
  const CleanerExit first = cleaner.Run("/Q /TL");
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(first.exitCode, 1u);
  EXPECT_TRUE(Contains(cleaner.LogMessages(), "Skipped (deletion not permitted): " + installation.ProgramFolder()));
  EXPECT_TRUE(Contains(cleaner.LogLines(), "Setting in effect: DELETE=0"));
  EXPECT_FALSE(installation.TargetsLeft().empty());

  const CleanerExit second = cleaner.Run("/Q /TL DELETE=1 /DELLINK");
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_EQ(installation.TargetsLeft(), Strings{});
  EXPECT_EQ(installation.CanariesGone(), Strings{});
  const Strings lines = cleaner.LogLines();
  EXPECT_TRUE(Contains(lines, "Setting in effect: DELETE=1"));
  EXPECT_TRUE(Contains(lines, "Setting in effect: DEL_LINK=1"));
  EXPECT_FALSE(StartsWithAny(lines, "Skipped (deletion not permitted): "));
}

TEST(CleanerCommandLine, ATraceLogThatCannotBeOpenedIsItsOwnExitCode) {
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\CleanerTestsNothing", "[Registry_Delete_End]"});
  for (const std::string& bad : {std::string("relative.log"), cleaner / "missing\\run.log"}) {
    const CleanerExit exit = cleaner.Run("/Q /TL=" + bad, 20000);
    ASSERT_TRUE(exit.finished) << bad;
    EXPECT_EQ(exit.exitCode, 1622u) << bad;
    EXPECT_TRUE(exit.dialogs.empty()) << bad;
  }
}

TEST(CleanerTraceLog, BeginsWithWhatRanWhereAndEndsWithTheCountsAndTheExitCode) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  const CleanerExit exit = cleaner.Run("/Q /DELETE /DELLINK /TLUTF8");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  const Strings lines = cleaner.LogLines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0].rfind("Velmora Cleaner ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("Computer: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("Account: ", 0), 0u) << lines[2];
  EXPECT_NE(lines[3].find("/Q /DELETE /DELLINK /TLUTF8"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[4].rfind("Rule file: " + (cleaner / "Do_list.dat") + ", SHA-256 ", 0), 0u) << lines[4];
  EXPECT_EQ(lines[4].size(), ("Rule file: " + (cleaner / "Do_list.dat") + ", SHA-256 ").size() + 64);
  EXPECT_EQ(lines[5], "Log file created");
  EXPECT_EQ(lines.back().rfind("Run ended: ", 0), 0u) << lines.back();
  EXPECT_NE(lines.back().find(" 0 left, 0 scheduled for restart, 0 errors; exit code 0"), std::string::npos)
      << lines.back();
}

TEST(CleanerDetection, SaysWhatIsLeftBeforeAndNothingFoundAfterAClean) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  const CapturedExit before = cleaner.RunCapturingOutput("/DETECT /TL");
  ASSERT_TRUE(before.finished);
  EXPECT_EQ(before.exitCode, 1u);
  EXPECT_EQ(before.output, "");
  EXPECT_EQ(installation.TargetsGone(), Strings{}) << "detection changes nothing";
  EXPECT_TRUE(installation.ProductProcessRunning());
  const Strings log = cleaner.LogMessages();
  EXPECT_TRUE(Contains(log, "Left: remove-folder " + installation.ProgramFolder())) << testing::PrintToString(log);
  EXPECT_TRUE(Contains(log, "Left: end-process ZdnM.exe"));

  const CleanerExit clean = cleaner.Run("/Q /DELETE /DELLINK");
  ASSERT_TRUE(clean.finished);
  ASSERT_EQ(clean.exitCode, 0u);
  const CapturedExit after = cleaner.RunCapturingOutput("/DETECT /TL");
  ASSERT_TRUE(after.finished);
  EXPECT_EQ(after.exitCode, 0u) << testing::PrintToString(cleaner.LogMessages());
  EXPECT_EQ(after.output, "Velmora product not found\r\n");
}

// /DETECT changes nothing: the product's files, keys and processes stand as they were, and the
// event source is not registered by it (a detection script runs it on every machine, often).
TEST(CleanerDetection, LeavesTheMachineAndTheEventSourceAsTheyWere) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  constexpr char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velmora Cleaner";
  (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSourceKey);
  const MachineSnapshot before = TakeMachineSnapshot();
  const CapturedExit detect = cleaner.RunCapturingOutput("/DETECT");
  ASSERT_TRUE(detect.finished);
  EXPECT_EQ(detect.exitCode, 1u);
  const MachineChanges changes = ChangesBetween(before, TakeMachineSnapshot());
  EXPECT_EQ(changes.filesRemoved.size() + changes.foldersRemoved.size() + changes.keysRemoved.size() +
                changes.valuesRemoved.size() + changes.valuesWritten.size() + changes.processesEnded.size() +
                changes.added.size(),
            0u);
  UniqueHKey key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_READ, key.Put()), ERROR_FILE_NOT_FOUND);
}

TEST(CleanerRunReport, IsJsonWhoseCountsMatchTheTraceLog) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  const std::string report = cleaner / "run.json";
  // Deletion not permitted: some changes made, some targets left.
  const CleanerExit exit = cleaner.Run("/Q /TL \"/REPORT=" + report + "\"");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u);
  const std::string json = ReadBytes(report);
  ASSERT_FALSE(json.empty());
  EXPECT_EQ(json.front(), '{');
  for (const char* field : {"\"schemaVersion\":1", "\"programVersion\":", "\"computer\":", "\"account\":",
                            "\"commandLine\":", "\"settings\":{\"SILENT\":\"1\"", "\"ruleFile\":{\"path\":",
                            "\"sha256\":\"", "\"start\":\"", "\"end\":\"", "\"actions\":[", "\"outcome\":\"done\"",
                            "\"outcome\":\"left\"", "\"exitCode\":1}"}) {
    EXPECT_NE(json.find(field), std::string::npos) << field;
  }
  const Strings lines = cleaner.LogLines();
  ASSERT_FALSE(lines.empty());
  const std::string& summary = lines.back();
  ASSERT_EQ(summary.rfind("Run ended: ", 0), 0u) << summary;
  EXPECT_EQ(JsonNumber(json, "changes"), SummaryNumber(summary, "changes made"));
  EXPECT_EQ(JsonNumber(json, "failed"), SummaryNumber(summary, "failed"));
  EXPECT_EQ(JsonNumber(json, "left"), SummaryNumber(summary, "left"));
  EXPECT_GT(JsonNumber(json, "changes"), 0);
  EXPECT_GT(JsonNumber(json, "left"), 0);
  // Each line of the log that names something left is one "left" action of the report.
  const auto skipped = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("Skipped (deletion not permitted): ", 0) == 0;
  });
  EXPECT_GE(JsonNumber(json, "left"), skipped);
}

TEST(CleanerSingleInstance, ASecondInstanceEndsAtOnceWith1618AndChangesNothing) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  cleaner.WriteSettings("[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  // The first instance waits in its window; the second is an unattended run.
  const std::string exe = cleaner / "Cleaner.exe";
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             cleaner.Path().c_str(), &startup, &info));
  UniqueKernelHandle first(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  HWND window = nullptr;
  for (int i = 0; i < 400 && window == nullptr; ++i) {
    window = FindWindowA(nullptr, "Velmora Cleaner");
    if (window == nullptr) Sleep(50);
  }
  ASSERT_NE(window, nullptr) << "the first instance shows no window";

  const CleanerExit second = cleaner.Run("/Q /TL=" + (cleaner / "second.log"), 20000);
  EXPECT_TRUE(second.finished);
  EXPECT_EQ(second.exitCode, 1618u);
  EXPECT_TRUE(second.dialogs.empty());
  EXPECT_EQ(installation.TargetsGone(), Strings{});
  EXPECT_EQ(GetFileAttributesA((cleaner / "second.log").c_str()), INVALID_FILE_ATTRIBUTES) << "not even a log";

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(first.Get(), 20000), WAIT_OBJECT_0);
  // Once the first has ended, the next one runs.
  const CleanerExit third = cleaner.Run("/Q /DELLINK");
  ASSERT_TRUE(third.finished);
  EXPECT_EQ(third.exitCode, 0u);
}

TEST(CleanerSettingsFindings, EachLineNotReadAsWrittenHasATraceLineNamingTheFile) {
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\CleanerTestsNothing", "[Registry_Delete_End]"});
  cleaner.WriteSettings("\xEF\xBB\xBF[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[options]\r\nDELETE = 1\r\n[Options]\r\n"
                        "DELETE=yes\r\n[End_Options]\r\n");
  const CleanerExit exit = cleaner.Run("/Q /TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  const Strings lines = cleaner.LogLines();
  const std::string file = cleaner / "QRV_RC.INI";
  for (const std::string& expected : {
           file + ", line 1: read as UTF-8 text: it starts with a byte-order mark",
           file + ", line 4: \"[options]\" is not \"[Options]\" (headers match only exactly, letter case and blanks "
                  "included): the line is ignored",
           file + ", line 7: \"DELETE=yes\": only \"1\" switches DELETE on; the value \"yes\" reads as off",
           std::string("Setting in effect: SILENT=1"), std::string("Setting in effect: DELETE=0")}) {
    EXPECT_TRUE(Contains(lines, expected)) << expected << "\n" << testing::PrintToString(lines);
  }
}

// Notepad's "Unicode" without its byte-order mark: the file cannot be read without guessing,
// and it asks for a backup, so the run ends before any change rather than go without one.
TEST(CleanerSettingsFindings, AFileThatNamesABackupAndCannotBeReadStopsTheRunBeforeAnyChange) {
  const char* key = "Software\\CleanerTestsSettingsStop";
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(created);
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", std::string("HKEY_CURRENT_USER\\") + key, "[Registry_Delete_End]"});
  std::string utf16;
  for (const char c : std::string("[Folder]\r\nBACKUP=") + (cleaner / "bk") + "\r\n[End_Folder]\r\n") {
    utf16 += c;
    utf16 += '\0';
  }
  cleaner.WriteSettings(utf16);
  const CleanerExit exit = cleaner.Run("/Q /TL", 20000);
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  HKEY still = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &still), ERROR_SUCCESS) << "nothing removed";
  if (still != nullptr) RegCloseKey(still);
  EXPECT_TRUE(StartsWithAny(cleaner.LogLines(), cleaner / "QRV_RC.INI" + ": the file cannot be read without guessing"))
      << testing::PrintToString(cleaner.LogLines());
  RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST(CleanerCommandLine, TheLogExplainsABadFolderWhereverTheSwitchesStand) {
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\CleanerTestsNothing", "[Registry_Delete_End]"});
  for (const char* arguments : {"/Q /BACKUP=bk /TL", "/TL /Q /BACKUP=bk"}) {
    const CleanerExit exit = cleaner.Run(arguments, 20000);
    ASSERT_TRUE(exit.finished) << arguments;
    EXPECT_EQ(exit.exitCode, 2u) << arguments;
    EXPECT_TRUE(StartsWithAny(cleaner.LogMessages(), "The backup folder needs a plain full path: bk - ")) << arguments;
  }
}
