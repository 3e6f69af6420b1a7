#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "backup/newer_installation.h"
#include "platform/handles.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/machine_snapshot.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/held_file.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/wine_test_support.h"

namespace {

constexpr char kSettings[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\n[End_Options]\r\n";

// What undo must bring back beyond names: per file its attributes, times of creation and
// last write, size and bytes; per folder its attributes; values as the snapshot holds them.
// Processes are left out: ended processes are not started again.
struct Restorable {
  MachineSnapshot machine;
  std::map<std::wstring, std::string> facts;
  bool operator==(const Restorable&) const = default;
};

std::string ReadWide(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return file ? bytes : "unreadable";
}

std::string FactsOf(const std::wstring& path, bool folder) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return "unreadable";
  std::string facts = "attributes " + std::to_string(data.dwFileAttributes);
  if (folder) return facts;
  facts += " created " + std::to_string(data.ftCreationTime.dwLowDateTime) + " written " +
           std::to_string(data.ftLastWriteTime.dwLowDateTime) + " bytes " + ReadWide(path);
  return facts;
}

Restorable TakeRestorable() {
  Restorable state{TakeMachineSnapshot(), {}};
  state.machine.processes.clear();
  for (const auto& file : state.machine.files) state.facts[file] = FactsOf(file, false);
  for (const auto& folder : state.machine.folders) state.facts[folder] = FactsOf(folder, true);
  return state;
}

void SetValue(HKEY key, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
}

// A key of every value type, and empty keys, below a key the seeded rules delete.
void SeedEveryValueType(const std::string& userKey) {
  const std::wstring types = WideFromAnsi(userKey) + L"\\Gone\\Types";
  UniqueHKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, types.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
            ERROR_SUCCESS);
  auto utf16 = [](const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  };
  SetValue(key.Get(), L"", REG_SZ, utf16(L""));
  SetValue(key.Get(), L"Text", REG_SZ, utf16(L"C:\\Program Files\\\"Velmora\""));
  SetValue(key.Get(), L"Expand", REG_EXPAND_SZ, utf16(L"%SystemRoot%\\zdn"));
  SetValue(key.Get(), L"Multi", REG_MULTI_SZ, utf16(std::wstring(L"one\0two\0", 8)));
  SetValue(key.Get(), L"Binary", REG_BINARY, {0x00, 0xff, 0x10, 0x80});
  SetValue(key.Get(), L"Number", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
  SetValue(key.Get(), L"Wide", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  SetValue(key.Get(), L"Nothing", REG_NONE, {});
  SetValue(key.Get(), L"\x041c\x043e\x043d\x0438\x0442\x043e\x0440", REG_SZ, utf16(L"\x0434\x0430"));
  UniqueHKey empty;
  const std::wstring deeper = WideFromAnsi(userKey) + L"\\Gone\\Empty\\Deeper";
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, deeper.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, empty.Put(),
                            nullptr),
            ERROR_SUCCESS);
}

// The one run folder below the backup folder.
std::string RunFolderIn(const std::string& backup) {
  WIN32_FIND_DATAA found{};
  std::vector<std::string> runs;
  const UniqueFind find(FindFirstFileA((backup + "\\*").c_str(), &found));
  if (find) {
    do {
      if (found.cFileName[0] != '.') runs.push_back(backup + "\\" + found.cFileName);
    } while (FindNextFileA(find.Get(), &found));
  }
  return runs.size() == 1 ? runs.front() : std::string();
}

class BackupAndUndo : public ::testing::Test {
 protected:
  void SetUp() override {
    cleaner_.WriteRules(installation_.RuleLines());
    cleaner_.WriteSettings(kSettings);
    SeedEveryValueType(installation_.UserKey());
    MakeFolders(installation_.ProgramFolder() + "\\Empty");
    WriteBytes(installation_.ProgramFolder() + "\\Hidden\\kept.ini", "[kept]\r\n");
    SetFileAttributesA((installation_.ProgramFolder() + "\\Hidden\\kept.ini").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((installation_.ProgramFolder() + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
  std::string Clean() { return "/Q /TL=" + (cleaner_ / "clean.log") + " /BACKUP=" + backup_.Path(); }
  std::string Undo(const std::string& run) { return "/Q /TL=" + (cleaner_ / "VC.LOG") + " /UNDO=" + run; }

  SeededInstallation installation_;
  CleanerFolder cleaner_;
  ScratchFolder backup_{"backup"};
};

TEST_F(BackupAndUndo, RoundTripPutsBackEveryValueTypeAttributeTimeAndName) {
  const Restorable before = TakeRestorable();
  std::string run;
  {
    // A file in use is neither deleted nor kept as deleted: it stays, listed.
    const HeldFile held(installation_.FileInProgramFolder());
    ASSERT_EQ(held.Answer(), "held");
    const CleanerExit cleaned = cleaner_.Run(Clean());
    ASSERT_TRUE(cleaned.finished);
    EXPECT_EQ(cleaned.exitCode, 1u);
    EXPECT_TRUE(installation_.CanariesGone().empty());
    EXPECT_EQ(installation_.TargetsLeft(), std::vector<std::string>({"program folder"}));
    run = RunFolderIn(backup_.Path());
    ASSERT_FALSE(run.empty());
    const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
    EXPECT_TRUE(journal.problems.empty());
    std::map<std::uint64_t, bool> undone;
    for (const JournalEntry& entry : journal.entries) {
      if (entry.kind == JournalKind::NotDone) undone[entry.notDone] = true;
    }
    for (const JournalEntry& entry : journal.entries) {
      if (entry.kind == JournalKind::File && entry.path.ends_with(L"\\base.dat")) {
        EXPECT_TRUE(undone[entry.number]) << "the held file is journaled as moved";
      }
    }
  }
  const CleanerExit undone = cleaner_.Run(Undo(run));
  ASSERT_TRUE(undone.finished);
  EXPECT_EQ(undone.exitCode, 0u);
  EXPECT_EQ(TakeRestorable(), before);
  // On a 64-bit Windows the keys of both views and both classes come back too.
  EXPECT_EQ(installation_.TargetsGone(), std::vector<std::string>({"product process"}));
  // A second undo finds everything in place and changes nothing.
  const CleanerExit again = cleaner_.Run(Undo(run));
  EXPECT_EQ(again.exitCode, 0u);
  EXPECT_EQ(TakeRestorable(), before);
}

TEST_F(BackupAndUndo, UndoNeverOverwritesWhatIsThereNow) {
  const std::string file = installation_.ProgramFolder() + "\\Hidden\\kept.ini";
  ASSERT_EQ(cleaner_.Run(Clean()).exitCode, 0u);
  const std::string run = RunFolderIn(backup_.Path());
  WriteBytes(file, "made after the run");
  const CleanerExit undone = cleaner_.Run(Undo(run));
  EXPECT_EQ(undone.exitCode, 1u);
  EXPECT_EQ(ReadBytes(file), "made after the run");
  bool listed = false;
  for (const std::string& line : cleaner_.LogMessages()) {
    listed = listed || line.find("Not restored, something else is there now: " + file) != std::string::npos;
  }
  EXPECT_TRUE(listed);
  EXPECT_EQ(installation_.TargetsGone(), std::vector<std::string>({"product process"})) << "everything else is back";
}

// The product installed again after the run (its Uninstall entry, which the run removed, is
// back): undo restores nothing and says why, exit code 2; with /OVERNEWER it puts back what
// the backup holds, and nothing of the new installation is overwritten.
TEST_F(BackupAndUndo, UndoOverANewerInstallationRestoresNothingUnlessTheSwitchSaysSo) {
  const std::string entry =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoraE2E_" + std::to_string(GetCurrentProcessId());
  TemporaryKey entryKey(HKEY_CURRENT_USER, entry);
  SeedStringValue(HKEY_CURRENT_USER, entry, "DisplayVersion", "5.0");
  // Where it is installed: the product's evidence, without which the guards keep an Uninstall entry.
  SeedStringValue(HKEY_CURRENT_USER, entry, "InstallLocation", installation_.ProgramFolder());
  std::vector<std::string> rules = installation_.RuleLines();
  rules.insert(rules.end(), {"[Registry_Delete]", "HKEY_CURRENT_USER\\" + entry, "[Registry_Delete_End]"});
  cleaner_.WriteRules(rules);
  ASSERT_EQ(cleaner_.Run(Clean()).exitCode, 0u);
  ASSERT_FALSE(KeyExistsForTest(HKEY_CURRENT_USER, entry));
  const std::string run = RunFolderIn(backup_.Path());
  SeedStringValue(HKEY_CURRENT_USER, entry, "DisplayVersion", "5.1");

  const CleanerExit refused = cleaner_.Run(Undo(run));
  EXPECT_EQ(refused.exitCode, 2u);
  bool said = false;
  for (const std::string& line : cleaner_.LogMessages()) said = said || line.find(kUndoNewerInstallationText) != std::string::npos;
  EXPECT_TRUE(said);
  EXPECT_EQ(installation_.TargetsLeft(), std::vector<std::string>{}) << "nothing of the old installation came back";

  const CleanerExit over = cleaner_.Run(Undo(run) + " /OVERNEWER");
  EXPECT_EQ(over.exitCode, 1u) << "the new installation's version is there: listed, not overwritten";
  EXPECT_EQ(StringValueForTest(HKEY_CURRENT_USER, entry, "DisplayVersion"), "5.1");
  EXPECT_EQ(installation_.TargetsGone(), std::vector<std::string>({"product process"}));
}

// An administrator can put the keys back by hand: regedit imports the run's export and the
// keys and values are as before, every type and byte.
TEST_F(BackupAndUndo, RegeditImportsTheExportedKeysAsTheyWere) {
  const MachineSnapshot before = TakeMachineSnapshot();
  ASSERT_EQ(cleaner_.Run(Clean()).exitCode, 0u);
  const std::string run = RunFolderIn(backup_.Path());
  ASSERT_NE(TakeMachineSnapshot().keys, before.keys);
  std::string commandLine = "regedit.exe /S \"" + run + "\\" + kRegistryExportFileName + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  const UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  ASSERT_EQ(WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
  // Only the rename stays half done: regedit brings back the old name, and the new name the
  // run wrote is not in the export.
  const MachineChanges changes = ChangesBetween(before, TakeMachineSnapshot());
  EXPECT_EQ(changes.keysRemoved, std::set<std::wstring>());
  EXPECT_EQ(changes.valuesRemoved, std::set<std::wstring>());
  EXPECT_EQ(changes.valuesWritten, std::set<std::wstring>({UpperWide(L"HKEY_CURRENT_USER\\" + WideFromAnsi(installation_.UserKey()) + L"\\NewName")}));
}

// A run ended by force between two changes: its journal matches what it changed, and undo
// brings back the state before the run.
TEST_F(BackupAndUndo, ARunKilledHalfWayUndoesToTheStateBeforeIt) {
  for (int i = 0; i < 1500; ++i) WriteBytes(installation_.ProgramFolder() + "\\Many\\f" + std::to_string(i), "x");
  const Restorable before = TakeRestorable();
  const std::string exe = cleaner_ / "Cleaner.exe";
  std::string commandLine = "\"" + exe + "\" " + Clean();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             cleaner_.Path().c_str(), &startup, &info));
  const UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  std::string run;
  for (int wait = 0; wait < 1200 && WaitForSingleObject(process.Get(), 25) == WAIT_TIMEOUT; ++wait) {
    if (run.empty()) run = RunFolderIn(backup_.Path());
    if (!run.empty() && ReadWide(WideFromAnsi(run + "\\" + kJournalFileName)).size() > 40000) break;
  }
  ASSERT_TRUE(TerminateProcess(process.Get(), 99)) << "the run ended before it could be killed";
  WaitForSingleObject(process.Get(), 10000);
  ASSERT_FALSE(run.empty());
  EXPECT_FALSE(installation_.TargetsGone().empty()) << "killed before any change";
  const CleanerExit undone = cleaner_.Run(Undo(run));
  EXPECT_EQ(undone.exitCode, 0u);
  EXPECT_EQ(TakeRestorable(), before);
}

}  // namespace

namespace {

// An undo that cannot trust its journal changes nothing and says so with exit code 2.
TEST(BackupUndoRefusals, AMissingOrDamagedJournalEndsWithExitCode2AndChangesNothing) {
  CleanerFolder cleaner;
  ScratchFolder run("undo_run");
  ScratchFolder target("undo_target");
  const std::string header = std::string(kJournalHeader) + "\n";
  const struct {
    const char* name;
    std::string journal;  // empty: no journal file
  } cases[] = {
      {"no journal", ""},
      {"not a journal", "REGEDIT4\n"},
      {"damaged line before the last", header + "1\tfolder\t" + target.Path() + "\\made\t00000010\n2\tnonsense\n" +
                                           "3\tfolder\t" + target.Path() + "\\too\t00000010\n"},
  };
  for (const auto& c : cases) {
    DeleteFileA((run / kJournalFileName).c_str());
    if (!c.journal.empty()) WriteBytes(run / kJournalFileName, c.journal);
    EXPECT_EQ(cleaner.Run("/Q /UNDO=" + run.Path()).exitCode, 2u) << c.name;
    EXPECT_EQ(GetFileAttributesA((target / "made").c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
  }
  EXPECT_EQ(cleaner.Run("/Q /UNDO=relative\\run").exitCode, 2u);
}

}  // namespace
