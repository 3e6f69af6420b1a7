#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/json_lines.h"
#include "tests/e2e/machine_snapshot.h"
#include "tests/support/second_profile.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/e2e/tool_output.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/held_file.h"
#include "tests/support/seeded_registry.h"

namespace {

using WideSet = std::set<std::wstring>;

std::string Settings() {
  return "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\n[End_Options]\r\n";
}

// The installation's rules, and two entries the cleaner refuses.
std::vector<std::string> RulesWithRefusals(const SeededInstallation& installation) {
  std::vector<std::string> lines = installation.RuleLines();
  lines.insert(lines.end(), {"[Registry_Delete]", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "[Registry_Delete_End]", "[Registry_Move_Val]",
                             "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Same=Same",
                             "[Registry_Move_Val_End]"});
  return lines;
}

// What the plan says will change: the targets of its actions on things that exist now.
struct PlannedChanges {
  WideSet files, folders, keys, valuesRemoved, valuesWritten, processes;
  std::multiset<std::wstring> notes;
};

PlannedChanges ChangesInPlan(const std::vector<JsonFields>& plan) {
  PlannedChanges planned;
  for (const JsonFields& object : plan) {
    const std::wstring& type = object.at("type");
    if (type == L"info") planned.notes.insert(object.at("text"));
    if (type != L"action") continue;
    const std::wstring& action = object.at("action");
    const std::wstring target = UpperWide(object.at("target"));
    if (action == L"write-value") planned.valuesWritten.insert(target);
    if (object.count("exists") == 0 || object.at("exists") != L"true") continue;
    if (action == L"remove-file") planned.files.insert(target);
    if (action == L"remove-folder") planned.folders.insert(target);
    if (action == L"delete-key") planned.keys.insert(target);
    if (action == L"delete-value") planned.valuesRemoved.insert(target);
    if (action == L"end-process") planned.processes.insert(target);
  }
  return planned;
}

std::multiset<std::wstring> InformationLines(const std::vector<std::string>& log) {
  std::multiset<std::wstring> lines;
  for (const std::string& message : log) {
    if (message.starts_with("Refused") || message.starts_with("Could NOT")) lines.insert(WideFromAnsi(message));
  }
  return lines;
}

class RuleToolPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CopyFileA((BuildFolder() + "\\RuleTool.exe").c_str(), (cleaner_ / "RuleTool.exe").c_str(), FALSE)) {
      throw std::runtime_error("cannot copy RuleTool.exe");
    }
  }
  ToolRun Plan(const std::string& arguments) {
    return RunCapturingOutput(cleaner_ / "RuleTool.exe", "plan " + arguments, cleaner_.Path());
  }

  SeededInstallation installation_;
  CleanerFolder cleaner_;
};

}  // namespace

TEST_F(RuleToolPlan, ListsExactlyWhatTheRealRunThenChangesAndChangesNothingItself) {
  cleaner_.WriteRules(RulesWithRefusals(installation_));
  cleaner_.WriteSettings(Settings());

  const MachineSnapshot beforePlan = TakeMachineSnapshot();
  const ToolRun plan = Plan("--json");
  const MachineSnapshot afterPlan = TakeMachineSnapshot();
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  EXPECT_TRUE(beforePlan == afterPlan) << "the plan changed the machine";
  EXPECT_TRUE(installation_.TargetsGone().empty());

  const std::vector<JsonFields> objects = ParseJsonLines(plan.output);
  ASSERT_FALSE(objects.empty());
  std::size_t lines = 0;
  for (char c : plan.output) lines += c == '\n';
  EXPECT_EQ(objects.size(), lines) << "every line is one JSON object";
  EXPECT_EQ(objects.front().at("type"), L"settings");
  EXPECT_EQ(objects.front().at("schemaVersion"), L"1");
  EXPECT_EQ(objects.front().at("deleteFiles"), L"true");
  const PlannedChanges planned = ChangesInPlan(objects);
  // The last record sums up the others and repeats the exit code.
  const JsonFields& totals = objects.back();
  ASSERT_EQ(totals.at("type"), L"totals");
  EXPECT_EQ(totals.at("exitCode"), L"3");
  const auto countOf = [&](const wchar_t* type) {
    return std::to_wstring(std::count_if(objects.begin(), objects.end(),
                                         [&](const JsonFields& object) { return object.at("type") == type; }));
  };
  EXPECT_EQ(totals.at("entries"), countOf(L"entry"));
  EXPECT_EQ(totals.at("actions"), countOf(L"action"));
  EXPECT_EQ(totals.at("refusedOrFailing"), countOf(L"info"));
  EXPECT_NE(totals.at("present"), L"0");

  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  const MachineChanges changed = ChangesBetween(afterPlan, TakeMachineSnapshot());

  EXPECT_EQ(exit.exitCode, 1u) << "the two refused entries count as not removed";
  EXPECT_TRUE(installation_.TargetsLeft().empty());
  EXPECT_TRUE(installation_.CanariesGone().empty());
  EXPECT_EQ(planned.files, changed.filesRemoved);
  EXPECT_EQ(planned.folders, changed.foldersRemoved);
  EXPECT_EQ(planned.keys, changed.keysRemoved);
  EXPECT_EQ(planned.valuesRemoved, changed.valuesRemoved);
  EXPECT_EQ(planned.valuesWritten, changed.valuesWritten);
  // Wine's own helper processes come and go; of the product's names only the planned one ends.
  EXPECT_EQ(planned.processes, WideSet{L"ZDNM.EXE"});
  for (const std::wstring& ended : changed.processesEnded) {
    if (ended.starts_with(L"ZDN")) {
      EXPECT_TRUE(planned.processes.count(ended)) << AnsiFromWide(ended);
    }
  }
  EXPECT_TRUE(changed.processesEnded.count(L"ZDNM.EXE"));
  EXPECT_TRUE(changed.added.empty()) << AnsiFromWide(*changed.added.begin());
  EXPECT_EQ(planned.notes, InformationLines(cleaner_.LogMessages()));
  EXPECT_EQ(planned.notes.size(), 2u);
  // Afterwards the same plan is a detection that finds nothing: the refused entries' keys are
  // not the product's.
  const ToolRun after = Plan("");
  EXPECT_EQ(after.exitCode, 0u) << after.output;
  // Every kind of change took part, so none of the comparisons above held by being empty.
  for (const WideSet* kind : {&planned.files, &planned.folders, &planned.keys, &planned.valuesRemoved,
                              &planned.valuesWritten}) {
    EXPECT_FALSE(kind->empty());
  }
  const std::wstring link = UpperWide(StartupLinkNameWide());
  EXPECT_EQ(std::count_if(planned.files.begin(), planned.files.end(),
                          [&](const std::wstring& file) { return file.ends_with(L"\\" + link); }),
            2)
      << "the Startup shortcut in both Startup folders, named in Cyrillic";
}

TEST_F(RuleToolPlan, TextFormNamesEveryEntryWithItsTargetAndState) {
  cleaner_.WriteRules(RulesWithRefusals(installation_));
  cleaner_.WriteSettings(Settings());
  const ToolRun plan = Plan("");
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  const std::string program = installation_.ProgramFolder();
  for (const std::string& part : std::vector<std::string>{
           "Program folder   " + program + "\n",
           "Switches         kill processes: yes, delete files and folders: yes, delete links: yes\n",
           "Processes\n    end-process ZdnM.exe  [exists, 1 process]\n",
           "line 14  DelDir  " + program + "  [exists, 4 files]\n",
           "    remove-file " + program + "\\Data\\guard.sys (attributes reset first)  [exists]\n",
           "    ! Refused to delete shared registry key HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\n",
           "nothing was changed\n",
       }) {
    EXPECT_NE(plan.output.find(part), std::string::npos) << "missing:\n" << part << "\nin:\n" << plan.output;
  }
}

TEST_F(RuleToolPlan, AllUsersNamesEveryOtherHiveAndProfileAndChangesNothing) {
  SecondProfile other(installation_.UserKey());
  const std::vector<std::string> before = other.Present();
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings());
  const ToolRun plan = Plan("--all-users");
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  const std::string hive = "HKEY_USERS\\VelmoraCleaner_" + other.Sid();
  for (const std::string& part : {"every user: " + other.Sid() + " in " + hive, hive + "\\" + installation_.UserKey() + "\\Gone"}) {
    EXPECT_NE(plan.output.find(part), std::string::npos) << "missing:\n" << part << "\nin:\n" << plan.output;
  }
  EXPECT_EQ(other.Present(), before);
}

TEST_F(RuleToolPlan, AFileInUseIsShownAsLeftToTheRestartWithItsFolder) {
  HeldFile held(installation_.FileInProgramFolder());
  ASSERT_EQ(held.Answer(), "held");
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings());
  const std::string file = installation_.FileInProgramFolder();
  const std::string program = installation_.ProgramFolder();
  const ToolRun plan = Plan("--delete-at-restart");
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  for (const std::string& part : {"    delete-at-restart " + file + "  [exists]\n",
                                  "    ! Will be deleted at restart: " + program + "\n"}) {
    EXPECT_NE(plan.output.find(part), std::string::npos) << "missing:\n" << part << "\nin:\n" << plan.output;
  }
  EXPECT_TRUE(installation_.TargetsGone().empty());
}

TEST_F(RuleToolPlan, FoldersGivenOnTheCommandLineAreUsedAsIfTyped) {
  ScratchFolder other("plan_other");
  WriteBytes(other / "x.dll", "x");
  cleaner_.WriteRules({"[Delete_Folder]", "%Program%", "[Delete_Folder_End]"});
  cleaner_.WriteSettings("[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  const ToolRun plan = Plan("--json --program \"" + other.Path() + "\"");
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  const std::vector<JsonFields> objects = ParseJsonLines(plan.output);
  const PlannedChanges planned = ChangesInPlan(objects);
  EXPECT_EQ(planned.files, WideSet{UpperWide(WideFromAnsi(other / "x.dll"))});
  EXPECT_TRUE(std::any_of(objects.begin(), objects.end(), [](const JsonFields& object) {
    return object.at("type") == L"message" && object.at("text").find(L"Confirm File Delete") != std::wstring::npos;
  })) << "a run with typed folders asks first";
  EXPECT_EQ(planned.folders, WideSet{UpperWide(WideFromAnsi(other.Path()))});
  EXPECT_TRUE(installation_.TargetsGone() == std::vector<std::string>{});
}

TEST_F(RuleToolPlan, WithoutDeletionFolderEntriesAreSkippedAndWithoutRulesThereIsNoPlan) {
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings("[Options]\r\nKILLPROCESS=0\r\n[End_Options]\r\n");
  const ToolRun plan = Plan("--json");
  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  std::size_t skipped = 0;
  for (const JsonFields& object : ParseJsonLines(plan.output)) {
    if (object.at("type") == L"entry" && object.at("skipped") == L"true") ++skipped;
    if (object.at("type") == L"action") {
      EXPECT_NE(object.at("action"), L"remove-file");
      EXPECT_NE(object.at("action"), L"end-process");
    }
    EXPECT_FALSE(object.count("section") && object.at("section") == L"Processes");
  }
  EXPECT_EQ(skipped, 3u) << plan.output;

  cleaner_.RemoveRules();
  const ToolRun none = Plan("");
  EXPECT_EQ(none.exitCode, 2u);
  EXPECT_EQ(none.output, "");
}

// A number renamed is planned as the write of a number and moved as one; the run goes on to
// the entries after it.
TEST_F(RuleToolPlan, ANumberRenamedIsPlannedAndMovedWithItsType) {
  const TemporaryKey key(HKEY_CURRENT_USER, "Software\\VelmoraPlanRename_" + std::to_string(GetCurrentProcessId()));
  SeedDwordValue(HKEY_CURRENT_USER, key.Path(), "Counter", 7);
  cleaner_.WriteRules({"[Registry_Move_Val]", "HKEY_CURRENT_USER\\" + key.Path() + "\\Moved=Counter",
                       "[Registry_Move_Val_End]"});
  cleaner_.WriteSettings(Settings());
  const ToolRun plan = Plan("--json");
  const std::vector<JsonFields> objects = ParseJsonLines(plan.output);
  EXPECT_TRUE(std::any_of(objects.begin(), objects.end(), [](const JsonFields& object) {
    return object.count("detail") && object.at("detail") == L"type 4, 4 bytes";
  })) << plan.output;
  EXPECT_TRUE(std::none_of(objects.begin(), objects.end(),
                           [](const JsonFields& object) { return object.count("type") && object.at("type") == L"error"; }))
      << plan.output;

  const CleanerExit exit = cleaner_.Run("/TL");
  ASSERT_TRUE(exit.finished);
  EXPECT_NE(exit.exitCode, 2u) << "no error box ends the run";
  EXPECT_TRUE(ValueExistsForTest(HKEY_CURRENT_USER, key.Path(), "Moved"));
  EXPECT_FALSE(ValueExistsForTest(HKEY_CURRENT_USER, key.Path(), "Counter"));
}

// Other names of protected folders, each refused by the plan and by the unattended run alike
// with one line, the run ending with exit code 1 and every folder intact: NT, share and
// extended forms, a second drive letter for C: (subst on Windows, a dosdevices link under
// Wine), a link in the middle of a path inside the product folder, another user's profile.
TEST_F(RuleToolPlan, EveryOtherNameOfAProtectedFolderIsRefusedByThePlanAndTheRun) {
  if (!RunningUnderWine()) GTEST_SKIP() << "drive letters and links are made through Wine; not under Wine";
  const std::string product = installation_.ProgramFolder();
  const std::string other = "C:\\users\\velmora_other";
  const std::string profileKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1998";
  ASSERT_TRUE(MakeDriveLetter('Q', "C:\\"));
  ASSERT_TRUE(MakeHostSymlink("C:\\users\\Public", product + "\\ln"));
  const std::vector<std::string> kept = {"C:\\users\\Public\\Desktop\\velmora_kept.txt", other + "\\kept.txt",
                                         "C:\\windows\\velmora_kept.txt"};
  for (const std::string& file : kept) WriteBytes(file, "k");
  UniqueHKey profile;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, profileKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            profile.Put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(profile.Get(), "ProfileImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(other.c_str()),
                 static_cast<DWORD>(other.size() + 1));
  const std::vector<std::string> entries = {
      "\\??\\C:\\users\\Public\\Desktop", "\\??\\C:\\", "\\\\localhost\\c$\\windows",
      "\\\\?\\UNC\\localhost\\c$\\windows", "\\\\?\\C:\\windows", "Q:\\windows", "Q:\\users\\Public\\Desktop",
      "%Program%\\ln\\Desktop", other, "C:\\users\\Public\\Desktop\\..\\..\\.."};
  std::vector<std::string> lines = {"[Delete_Folder]"};
  lines.insert(lines.end(), entries.begin(), entries.end());
  lines.push_back("[Delete_Folder_End]");
  cleaner_.WriteRules(lines);
  cleaner_.WriteSettings(Settings());

  const ToolRun plan = Plan("");
  const CleanerExit exit = cleaner_.Run("/TL");
  (void)RemoveHostSymlink(product + "\\ln");
  (void)RemoveDriveLetter('Q');
  profile.Reset();
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, profileKey.c_str());

  ASSERT_EQ(plan.exitCode, 3u) << "the product is present" << plan.output;
  std::size_t refusedInPlan = 0;
  for (std::size_t at = 0; (at = plan.output.find("    ! Refused to delete ", at)) != std::string::npos; ++at) {
    ++refusedInPlan;
  }
  EXPECT_EQ(refusedInPlan, entries.size()) << plan.output;
  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 1u);
  EXPECT_EQ(InformationLines(cleaner_.LogMessages()).size(), entries.size());
  for (const std::string& file : kept) {
    EXPECT_EQ(ReadBytes(file), "k") << file;
    DeleteFileA(file.c_str());
  }
  RemoveTreeForTest(other);
}

// A trace log that is a link (Wine's host symbolic link shows only in the path the system
// gives back) or a second name of win.ini would be overwritten with the trace: the run ends
// with an error (exit code 2) before its first entry, and win.ini is kept.
TEST_F(RuleToolPlan, ATraceLogReachedThroughALinkEndsTheRunWithAnErrorAndKeepsItsTarget) {
  if (!RunningUnderWine()) GTEST_SKIP() << "host links are made through Wine; not under Wine";
  const std::string target = cleaner_ / "win.ini";
  WriteBytes(target, "[fonts]\r\n");
  cleaner_.WriteRules(installation_.RuleLines());
  cleaner_.WriteSettings(Settings());
  for (const bool symbolic : {true, false}) {
    ASSERT_TRUE(symbolic ? MakeHostSymlink(target, cleaner_ / "VC.LOG") : MakeHostHardLink(target, cleaner_ / "VC.LOG"));
    const CleanerExit exit = cleaner_.Run("/TL");
    ASSERT_TRUE(RemoveHostSymlink(cleaner_ / "VC.LOG"));  // rm of the name leaves the target
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 1622u) << symbolic << ": a log refused as a link is a log that cannot be opened";
    EXPECT_EQ(ReadBytes(target), "[fonts]\r\n") << symbolic;
    EXPECT_TRUE(installation_.TargetsGone().empty()) << symbolic;
  }
}
