#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <cstring>
#include <vector>

#include "engine/guards/registrations.h"
#include "engine/run/deletion.h"
#include "engine/run/registry_actions.h"
#include "engine/run/registry_places.h"
#include "tests/e2e/cleaner_folder.h"
#include "platform/handles.h"
#include "tests/support/second_profile.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/held_file.h"
#include "tests/support/trace_messages.h"
#include "tests/support/wine_test_support.h"
#include "platform/system_error.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kTitle[] = "Cleaner";  // the executable's name before its first "."

std::string Settings(const std::string& mode, const std::string& options, const char* lineEnd = "\r\n") {
  std::string text;
  auto line = [&](const std::string& l) { text += l + lineEnd; };
  if (!mode.empty()) {
    line("[Mode]");
    line(mode);
    line("[End_Mode]");
  }
  if (!options.empty()) {
    line("[Options]");
    for (std::size_t start = 0; start < options.size();) {
      std::size_t end = options.find(';', start);
      if (end == std::string::npos) end = options.size();
      line(options.substr(start, end - start));
      start = end + 1;
    }
    line("[End_Options]");
  }
  return text;
}

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class CleanerEndToEnd : public ::testing::Test {
 protected:
  SeededInstallation installation_;
  CleanerFolder cleaner_;
};

TEST_F(CleanerEndToEnd, UnattendedRunRemovesWhatTheRulesNameAndNothingElse) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_FALSE(exit.mainWindowShown);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  EXPECT_EQ(installation_.RenamedValue().value_or("<missing>"), "moved data");
  const Strings log = cleaner_.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "Log file created");
  EXPECT_TRUE(Contains(log, "ReadIni complete"));
  EXPECT_TRUE(Contains(log, "Rule file checked"));
  EXPECT_TRUE(Contains(log, "ProgramFilesDir have been read"));
  EXPECT_TRUE(Contains(log, "Common Programs have been read"));
  EXPECT_TRUE(Contains(log, "ZdnM.exe try to kill"));
  EXPECT_TRUE(Contains(log, cleaner_ / "Do_list.dat opened"));
  EXPECT_TRUE(Contains(log, "DelDir 14"));
  EXPECT_EQ(log.back(), "Registry clean complete");
  // The log is a record of what was removed, by full name.
  EXPECT_TRUE(Contains(log, "Removed folder " + installation_.ProgramFolder()));
  EXPECT_TRUE(Contains(log, "Ended process ZdnM.exe"));
  const auto removedKeys = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("Removed key HKEY_", 0) == 0;
  });
  EXPECT_GT(removedKeys, 0);
}

// On a 64-bit system the 32-bit program reads HKEY_LOCAL_MACHINE\SOFTWARE through the
// 32-bit view: Program Files is then "Program Files (x86)". The seeded product has keys in
// both views; each entry acts in both, and the log says so.
TEST_F(CleanerEndToEnd, OnA64BitPrefixEntriesActInBothRegistryViews) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "a 32-bit prefix";
  EXPECT_NE(installation_.ProgramFolder().find("(x86)"), std::string::npos) << installation_.ProgramFolder();
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  EXPECT_TRUE(Contains(cleaner_.LogMessages(), kBothViewsTrace));
}

// The folders of the 64-bit Program Files and Common Files, read through the 64-bit view;
// removed again when the object goes.
class NativeProgramFolders {
 public:
  NativeProgramFolders(const std::string& programName, const std::string& sharedName) {
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    // Windows names them ProgramW6432Dir and CommonW6432Dir as well; Wine only so.
    for (const auto& [value, name] : {std::pair{"ProgramFilesDir", programName}, std::pair{"CommonFilesDir", sharedName}}) {
      UniqueHKey opened;
      char data[MAX_PATH] = {};
      DWORD size = sizeof data - 1;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, opened.Put()) == ERROR_SUCCESS &&
          RegQueryValueExA(opened.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
        folders.push_back(std::string(data) + "\\" + name);
      }
    }
    for (const std::string& folder : folders) {
      RemoveTreeForTest(folder);
      RemoveTreeForTest(folder + " Keep");
      WriteBytes(folder + "\\x64\\part64.dll", "64-bit part");
      WriteBytes(folder + " Keep\\keep.txt", "keep");
    }
  }
  ~NativeProgramFolders() {
    for (const std::string& folder : folders) {
      RemoveTreeForTest(folder);
      RemoveTreeForTest(folder + " Keep");
    }
  }
  std::vector<std::string> folders;  // the product's program folder, then its shared folder
};

// A 64-bit product lies in the 64-bit Program Files and Common Files, which the 32-bit
// program is never told of: entries in the 32-bit folders act in their 64-bit twins as well,
// and what stands beside the product there stays.
TEST_F(CleanerEndToEnd, OnA64BitPrefixTheProductLeavesBothProgramFilesFolders) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "a 32-bit prefix";
  const NativeProgramFolders native("Velmora Lab", "ZDN Shared Files");
  ASSERT_EQ(native.folders.size(), 2u);
  ASSERT_NE(native.folders[0], installation_.ProgramFolder());
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  const Strings log = cleaner_.LogMessages();
  for (const std::string& folder : native.folders) {
    EXPECT_FALSE(Exists(folder)) << folder;
    EXPECT_TRUE(Exists(folder + " Keep\\keep.txt")) << folder;
    EXPECT_TRUE(Contains(log, "Also in the 64-bit Program Files: " + folder)) << folder;
  }
}

// Another user's leftovers are reached with the switch or the setting, and the keys beside
// them stay. A logged-on user's hive is loaded under the SID already; another is loaded from
// NTUSER.DAT for the run and unloaded after it. Wine does not write a loaded hive back to its
// file (Windows does), so for that one the Startup shortcut, found only through the hive, and
// the hive's unloading (the check loads it again) show the work.
TEST(CleanerForEveryUser, RunsCleanOtherProfilesAndKeepTheirOtherKeys) {
  const Strings seeded{"Gone", "Stay", "Target", "Keep", "OldName", "link", "link beside"};
  for (const bool loggedOn : {true, false}) {
    SeededInstallation installation;
    CleanerFolder cleaner;
    SecondProfile other(installation.UserKey());
    if (loggedOn) other.LogOn();
    ASSERT_EQ(other.Present(), seeded);
    cleaner.WriteRules(installation.RuleLines());
    cleaner.WriteSettings(Settings("SILENT=1", loggedOn ? "DELETE=1;DEL_LINK=1" : "DELETE=1;DEL_LINK=1;ALL_USERS=1"));
    const CleanerExit exit = cleaner.Run(loggedOn ? "/TL /allusers" : "/TL");
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 0u) << loggedOn;
    EXPECT_EQ(installation.TargetsLeft(), Strings{});
    const Strings cleaned = loggedOn ? Strings{"Stay", "Keep", "NewName", "link beside"}
                                     : Strings{"Gone", "Stay", "Target", "Keep", "OldName", "link beside"};
    EXPECT_EQ(other.Present(), cleaned) << loggedOn;
  }
}

// Real fleets: a cloud directory account (SID S-1-12-1-...), a mandatory profile (NTUSER.MAN)
// and a profile whose hive file is gone, with the ".bak" key Windows leaves after a failed
// load. The first two are cleaned (their Startup shortcuts, found only through their hives,
// show it), the third is a trace line and no failure.
TEST(CleanerForEveryUser, CloudAccountsAndMandatoryProfilesAreCleanedAndAProfileWithoutAHiveIsPassedOver) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  SecondProfile cloud(installation.UserKey(), {.sidPrefix = "S-1-12-1-4444-5555-6666-"});
  SecondProfile mandatory(installation.UserKey(), {.hiveFile = "NTUSER.MAN"});
  SecondProfile gone(installation.UserKey(), {.hiveFile = ""});
  cloud.AddBackupKey();
  cleaner.WriteRules(installation.RuleLines());
  cleaner.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner.Run("/TL /ALLUSERS");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation.TargetsLeft(), Strings{});
  for (const SecondProfile* profile : {&cloud, &mandatory}) {
    const Strings present = profile->Present();
    EXPECT_FALSE(Contains(present, "link")) << profile->Sid();
    EXPECT_TRUE(Contains(present, "link beside")) << profile->Sid();
  }
  EXPECT_TRUE(Contains(gone.Present(), "link"));
  const Strings log = cleaner.LogMessages();
  EXPECT_TRUE(Contains(log, "Passed over the profile of user " + gone.Sid() + ": no NTUSER.DAT or NTUSER.MAN in " +
                                gone.Folder()));
  EXPECT_TRUE(Contains(log, "Passed over the profile of user " + cloud.Sid() + ".bak: a copy Windows keeps of a profile key"));
}

// What Windows does at a restart before any program runs: wineboot -r carries out the
// pending operations, in the order they were asked for.
void Restart() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "wineboot.exe -r";
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  const UniqueKernelHandle ending(process.hProcess), thread(process.hThread);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
}

// A file another program holds open stays and is listed (exit code 1); with /R it is
// deleted at the next restart, after it the folders it kept, and the exit code tells the
// deployment tool that a restart is due. Held without delete sharing, it cannot be moved into
// the pending folder either: it is scheduled by its own path, and the line says so.
TEST_F(CleanerEndToEnd, AFileHeldOpenIsLoggedOrWithTheSwitchRDeletedAtTheRestart) {
  const std::string held = installation_.FileInProgramFolder(), folder = installation_.ProgramFolder();
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  {
    HeldFile holder(held);
    ASSERT_EQ(holder.Answer(), "held");
    for (const bool restart : {false, true}) {
      const CleanerExit exit = cleaner_.Run(restart ? "/TL /r" : "/TL");
      ASSERT_TRUE(exit.finished);
      EXPECT_EQ(exit.exitCode, restart ? 3010u : 1u);
      EXPECT_TRUE(exit.dialogs.empty()) << "run mode 1 lists nothing on the screen";
      EXPECT_EQ(installation_.TargetsLeft(), Strings{"program folder"});
      EXPECT_EQ(installation_.CanariesGone(), Strings{});
      const Strings log = cleaner_.LogMessages();
      EXPECT_TRUE(Contains(log, restart ? "Will be deleted at restart: " + held + kByPathText + SystemErrorText(32)
                                        : "Could NOT delete   " + held));
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.back(), "Registry clean complete");
    }
    const Strings pending = PendingFileOperations();
    const auto fileAt = std::find(pending.begin(), pending.end(), "\\??\\" + held);
    const auto folderAt = std::find(pending.begin(), pending.end(), "\\??\\" + folder);
    EXPECT_LT(fileAt, folderAt) << "the file first, then the folders that held it";
    EXPECT_FALSE(Exists("C:\\VelmoraCleaner.pending")) << "no pending folder for a file that cannot be moved";
    EXPECT_NE(folderAt, pending.end());
  }
  Restart();
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
}

// A rename of a Run value names back what the product renamed aside: one that starts Windows'
// own program (System32's notepad, switched off by the product as QrvRunNotepad.zdn-off) gets
// its name back with its type and data, exit code 0. Deleting such a value stays refused, and
// a rename onto a name that exists overwrites nothing.
TEST_F(CleanerEndToEnd, ARenamedRunValueStartingWindowsOwnProgramIsNamedBackWhileItsDeletionIsRefused) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run", runKey = "HKEY_CURRENT_USER\\" + run;
  const std::string product = "\"" + installation_.ProgramFolder() + "\\ZdnM.exe\" /tray";
  const std::string notepad = "C:\\windows\\system32\\notepad.exe", other = "C:\\windows\\system32\\write.exe";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, run.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const UniqueHKey runHandle(key);
  const struct {
    const char* name;
    const std::string& data;
    DWORD type;
  } values[] = {{"QrvRunTray", product, REG_SZ},         {"QrvRunOff", product, REG_SZ},
                {"QrvRunNotepad.zdn-off", notepad, REG_EXPAND_SZ}, {"QrvRunKept", notepad, REG_SZ},
                {"QrvRunTaken.zdn-off", other, REG_SZ},  {"QrvRunTaken", notepad, REG_SZ}};
  for (const auto& value : values) {
    RegSetValueExA(key, value.name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.c_str()),
                   static_cast<DWORD>(value.data.size() + 1));
  }
  Strings rules = installation_.RuleLines();
  for (const std::string& line :
       Strings{"[Registry_Delete_Val]", runKey + "=QrvRunTray", runKey + "=QrvRunKept", "[Registry_Delete_Val_End]",
               "[Registry_Move_Val]", runKey + "\\QrvRunOn=QrvRunOff", runKey + "\\QrvRunNotepad=QrvRunNotepad.zdn-off",
               runKey + "\\QrvRunTaken=QrvRunTaken.zdn-off", "[Registry_Move_Val_End]"}) {
    rules.push_back(line);
  }
  cleaner_.WriteRules(rules);
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u) << "the deletion of QrvRunKept and the rename onto QrvRunTaken are refused";
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  const auto data = [key](const char* name, DWORD& type) {
    char text[MAX_PATH] = {};
    DWORD size = sizeof(text) - 1;
    type = 0;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS
               ? std::string(text)
               : std::string("(gone)");
  };
  DWORD type = 0;
  EXPECT_EQ(data("QrvRunTray", type), "(gone)");
  EXPECT_EQ(data("QrvRunOff", type), "(gone)");
  EXPECT_EQ(data("QrvRunOn", type), product);
  EXPECT_EQ(data("QrvRunNotepad.zdn-off", type), "(gone)");
  EXPECT_EQ(data("QrvRunNotepad", type), notepad) << "named back";
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ)) << "the type stays";
  EXPECT_EQ(data("QrvRunKept", type), notepad) << "Windows' own program keeps its Run value";
  EXPECT_EQ(data("QrvRunTaken", type), notepad) << "an existing value is never overwritten";
  EXPECT_EQ(data("QrvRunTaken.zdn-off", type), other);
  Strings refusals;
  for (const std::string& line : cleaner_.LogMessages()) {
    if (line.starts_with("Refused")) refusals.push_back(line);
  }
  ASSERT_EQ(refusals.size(), 2u) << testing::PrintToString(refusals);
  EXPECT_TRUE(refusals[0].starts_with(std::string(kRefusedForeignRegistration) + runKey + "\\QrvRunKept names ")) << refusals[0];
  EXPECT_EQ(refusals[1], std::string(kRefusedExistingName) + runKey + "\\QrvRunTaken.zdn-off to QrvRunTaken");
  for (const char* name : {"QrvRunOn", "QrvRunNotepad", "QrvRunKept", "QrvRunTaken", "QrvRunTaken.zdn-off"}) {
    RegDeleteValueA(key, name);
  }
}

// With /R a running program (Windows and Wine refuse to delete its file, and let it be
// renamed) is moved into the pending folder during the run and scheduled there, so its folder
// goes at once. Someone who puts a link where that folder was, to a folder holding a file of
// the same name, gains nothing: the restart deletes the moved program and the pending folders,
// never the link's target.
TEST_F(CleanerEndToEnd, WithTheSwitchRARunningProgramGoesAtTheRestartFromThePendingFolderWhateverIsSwappedIn) {
  const std::string folder = installation_.ProgramFolder(), exe = folder + "\\ZdnHelper.exe";
  ASSERT_TRUE(CopyFileA(HelperPath("sleeper.exe").c_str(), exe.c_str(), FALSE));
  ScratchFolder victim("victim");
  WriteBytes(victim / "ZdnHelper.exe", "the victim's");
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1"));
  {
    const HelperProcess running(exe);
    const CleanerExit exit = cleaner_.Run("/TL /R");
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 3010u);
    EXPECT_TRUE(Contains(cleaner_.LogMessages(), "Will be deleted at restart: " + exe));
    EXPECT_EQ(installation_.TargetsLeft(), Strings{}) << "the program folder, emptied at once, went in the run";
    EXPECT_EQ(installation_.CanariesGone(), Strings{});
  }
  ASSERT_TRUE(MakeHostSymlink(victim.Path(), folder));
  Restart();
  EXPECT_EQ(ReadBytes(victim / "ZdnHelper.exe"), "the victim's");
  EXPECT_FALSE(Exists("C:\\VelmoraCleaner.pending")) << "nothing of the pending folder is left";
  EXPECT_TRUE(RemoveHostSymlink(folder));
}

TEST_F(CleanerEndToEnd, RunModeTwoIsAnErrorNamingTheFileAndTheKeyAndCleansNothing) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=2", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/tl");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  ASSERT_EQ(exit.dialogs.size(), 1u);
  EXPECT_EQ(exit.dialogs[0].text, cleaner_ / "QRV_RC.INI" + ": SILENT=2: the value must be 0 or 1.");
  EXPECT_TRUE(exit.mainWindowShown) << "start-up ended in run mode 0, as for any settings error";
  EXPECT_EQ(installation_.TargetsGone(), Strings{});
  EXPECT_EQ(cleaner_.LogMessages(),
            (Strings{"Log file created", cleaner_ / "QRV_RC.INI" + ": SILENT=2: the value must be 0 or 1."}));
}

TEST_F(CleanerEndToEnd, DeleteOtherThanOneLeavesFilesAndFoldersAlone) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=yes;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u) << "what the run was not permitted to delete stays behind";
  // The registry sections and the process termination do not need the permission.
  EXPECT_EQ(installation_.TargetsLeft(),
            (Strings{"program folder", "shared folder", "single file", "Start Menu folder", "user Startup shortcut",
                     "common Startup shortcut"}));
  EXPECT_EQ(installation_.CanariesGone(), Strings{});
  const Strings log = cleaner_.LogMessages();
  EXPECT_TRUE(Contains(log, "DelDir 14")) << "skipped entries are logged all the same";
  EXPECT_TRUE(Contains(log, "Skipped (deletion not permitted): " + installation_.ProgramFolder()));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Registry clean complete");
}

TEST_F(CleanerEndToEnd, AnInvalidRunModeIsShownAndEndsStartUpBeforeAnyCleaning) {
  cleaner_.WriteRules(installation_.RuleLines());
  // SILENT=1 is in effect when the bad value ends start-up: the program ends unattended.
  cleaner_.WriteSettings(Settings("SILENT=1\r\nSILENT=abc", "DELETE=1;DEL_LINK=1"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  ASSERT_EQ(exit.dialogs.size(), 1u);
  EXPECT_EQ(exit.dialogs[0].caption, kTitle);
  const std::string error = cleaner_ / "QRV_RC.INI" + ": SILENT=abc: 'abc' is not a valid integer value.";
  EXPECT_EQ(exit.dialogs[0].text, error);
  EXPECT_FALSE(exit.mainWindowShown);
  EXPECT_EQ(installation_.TargetsGone(), Strings{});
  // The box's text reaches the log too: nobody may be there to read the box.
  EXPECT_EQ(cleaner_.LogMessages(), (Strings{"Log file created", error}))
      << "the log is complete on disk";
}

TEST_F(CleanerEndToEnd, AnInvalidRunModeAloneLeavesTheInteractiveMode) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=abc", "DELETE=1"));
  const CleanerExit exit = cleaner_.Run("");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  ASSERT_EQ(exit.dialogs.size(), 1u);
  EXPECT_EQ(exit.dialogs[0].text, cleaner_ / "QRV_RC.INI" + ": SILENT=abc: 'abc' is not a valid integer value.");
  EXPECT_TRUE(exit.mainWindowShown);
  EXPECT_EQ(installation_.TargetsGone(), Strings{});
}

// Saved by an editor that ends lines with LF alone: read as written, so the run is unattended.
TEST_F(CleanerEndToEnd, SettingsWithLineFeedsOnlyAreRead) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;DEL_LINK=1", "\n"));
  const CleanerExit exit = cleaner_.Run("");
  ASSERT_TRUE(exit.finished);
  EXPECT_FALSE(exit.mainWindowShown) << "run mode 1";
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_EQ(installation_.TargetsLeft(), Strings{});
}


// On a 64-bit system a 32-bit program's System folder is SysWOW64; an entry there is
// carried out in the real System32 as well, reached through Sysnative.
TEST_F(CleanerEndToEnd, OnA64BitPrefixSystemFolderEntriesAreRemovedFromBothSystem32s) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "a 32-bit prefix";
  char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH) * GetSystemDirectoryA(system, MAX_PATH), 0u);
  const std::string tag = "\\qrv64_" + std::to_string(GetCurrentProcessId());
  const Strings folders = {system, std::string(windows) + "\\Sysnative"};
  for (const std::string& folder : folders) {
    for (const char* name : {".sys", "\\part.dll", "_canary.sys"}) WriteBytes(folder + tag + name, "x");
  }
  cleaner_.WriteRules({"[Delete_File]", "%winsys%" + tag + ".sys", "[Delete_File_End]", "[Delete_Folder]",
                       "%winsys%" + tag, "[Delete_Folder_End]"});
  cleaner_.WriteSettings(Settings("SILENT=1", "DELETE=1;KILLPROCESS=0"));
  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  for (const std::string& folder : folders) {
    EXPECT_FALSE(Exists(folder + tag + ".sys") || Exists(folder + tag)) << folder;
    EXPECT_TRUE(Exists(folder + tag + "_canary.sys")) << folder;
    DeleteFileA((folder + tag + "_canary.sys").c_str());
  }
  EXPECT_TRUE(Contains(cleaner_.LogMessages(), "Also in the 64-bit System32: " + folders[1] + tag + ".sys"));
}

}  // namespace

// Without an installation: the rule file is missing.
TEST(CleanerWithoutRules, AMissingRuleFileIsReportedAndTheUnattendedRunFails) {
  CleanerFolder cleaner;
  cleaner.WriteSettings(Settings("SILENT=1", "KILLPROCESS=0"));
  const CleanerExit exit = cleaner.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  ASSERT_EQ(exit.dialogs.size(), 2u);
  EXPECT_EQ(exit.dialogs[0].caption, kTitle);
  EXPECT_EQ(exit.dialogs[0].text, "File with rule does not Exist");
  EXPECT_EQ(exit.dialogs[1].caption, kTitle);
  EXPECT_EQ(exit.dialogs[1].text, "File not found.");
  EXPECT_FALSE(exit.mainWindowShown);
  const Strings log = cleaner.LogMessages();
  EXPECT_FALSE(Contains(log, "Rule file checked"));
  EXPECT_FALSE(Contains(log, "Registry clean complete"));
}

// Quiet, with no rule file: nothing is shown, nothing waits, nothing changes, exit code 2;
// the log holds what the box would have said.
TEST(CleanerQuiet, AMissingRuleFileEndsAtOnceWithoutAnyWindow) {
  CleanerFolder cleaner;
  for (const char* arguments : {"/Q /TL", "/tl /q"}) {
    SCOPED_TRACE(arguments);
    const CleanerExit exit = cleaner.Run(arguments, 20000);
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 2u);
    EXPECT_TRUE(exit.dialogs.empty());
    EXPECT_FALSE(exit.mainWindowShown);
    const Strings log = cleaner.LogMessages();
    EXPECT_TRUE(Contains(log, "File with rule does not Exist"));
    EXPECT_FALSE(Contains(log, "Registry clean complete"));
  }
}

// Quiet without settings is an unattended run; errors reach the log, never a box.
TEST_F(CleanerEndToEnd, QuietRunsUnattendedAndWritesTheLogWhereTheSwitchSays) {
  cleaner_.WriteRules(installation_.RuleLines());
  const std::string log = cleaner_ / "logs\\run.log";
  CreateDirectoryA((cleaner_ / "logs").c_str(), nullptr);
  const CleanerExit exit = cleaner_.Run("/Q /DELETE /DELLINK /TL=" + log);
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 0u);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_FALSE(exit.mainWindowShown);
  EXPECT_FALSE(cleaner_.HasLog()) << "no VC.LOG in the current folder";
  const Strings messages = TraceMessages(log);
  EXPECT_TRUE(Contains(messages, "Quiet mode: unattended run"));
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2], "Registry clean complete");
  EXPECT_FALSE(installation_.ProductProcessRunning());

  // A chosen log needs a full path in a folder that exists; quiet, only the exit code says so.
  for (const std::string& bad : {std::string("relative.log"), cleaner_ / "missing\\run.log"}) {
    const CleanerExit refused = cleaner_.Run("/Q /TL=" + bad);
    ASSERT_TRUE(refused.finished);
    EXPECT_EQ(refused.exitCode, 1622u) << bad;
    EXPECT_TRUE(refused.dialogs.empty()) << bad;
  }
}
