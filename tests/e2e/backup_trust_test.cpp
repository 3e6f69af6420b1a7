#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "platform/handles.h"
#include "platform/text/sha256.h"
#include "platform/text/wide_text.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/second_profile.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/wine_test_support.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kSettings[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\n[End_Options]\r\n";

std::string OneRunIn(const std::string& backup) {
  WIN32_FIND_DATAA found{};
  Strings runs;
  const UniqueFind find(FindFirstFileA((backup + "\\*").c_str(), &found));
  if (find) {
    do {
      if (found.cFileName[0] != '.') runs.push_back(backup + "\\" + found.cFileName);
    } while (FindNextFileA(find.Get(), &found));
  }
  return runs.size() == 1 ? runs.front() : std::string();
}

bool Logged(const Strings& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string Joined(const Strings& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::wstring Extended(const std::string& path) { return L"\\\\?\\" + WideFromAnsi(path); }

class BackupTrust : public ::testing::Test {
 protected:
  void SetUp() override {
    cleaner_.WriteRules(installation_.RuleLines());
    cleaner_.WriteSettings(kSettings);
  }
  std::string Clean() { return "/Q /TL=" + (cleaner_ / "VC.LOG") + " /BACKUP=" + backup_.Path(); }
  std::string Undo(const std::string& run) { return "/Q /TL=" + (cleaner_ / "VC.LOG") + " \"/UNDO=" + run + "\""; }
  // A run that cleans everything, and its run folder.
  std::string CleanedRun() {
    EXPECT_EQ(cleaner_.Run(Clean()).exitCode, 0u);
    EXPECT_EQ(installation_.TargetsLeft(), Strings{});
    return OneRunIn(backup_.Path());
  }

  SeededInstallation installation_;
  CleanerFolder cleaner_;
  ScratchFolder backup_{"backup"};
};

// "No backup, no change" from either place the backup folder is named in.
TEST_F(BackupTrust, ASettingsBackupFolderThatIsNotAPlainFullPathStopsBeforeAnyChange) {
  for (const std::string folder : {"Backup", "\\??\\C:\\Backup", "C:\\Backup\\..\\Elsewhere", "C:Backup"}) {
    cleaner_.WriteSettings(std::string(kSettings) + "[Folder]\r\nBACKUP=" + folder + "\r\n[End_Folder]\r\n");
    const CleanerExit exit = cleaner_.Run("/Q /TL=" + (cleaner_ / "VC.LOG"));
    ASSERT_TRUE(exit.finished);
    EXPECT_EQ(exit.exitCode, 2u) << folder;
    EXPECT_EQ(installation_.TargetsGone(), Strings{}) << folder;
  }
}

// Windows: a backup folder under C:\ProgramData that every user may write into. Wine keeps
// this access list (as the folder's mode) and reports it back as Windows would.
TEST_F(BackupTrust, ABackupFolderEveryoneMayWriteIsRefusedBeforeAnyChange) {
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
  const BOOL set = SetFileSecurityA(backup_.Path().c_str(), DACL_SECURITY_INFORMATION, open);
  LocalFree(open);
  ASSERT_TRUE(set);
  const CleanerExit exit = cleaner_.Run(Clean());
  EXPECT_EQ(exit.exitCode, 2u);
  EXPECT_EQ(installation_.TargetsGone(), Strings{});
  EXPECT_EQ(OneRunIn(backup_.Path()), "");
  EXPECT_TRUE(Logged(cleaner_.LogMessages(), "The backup folder is not safe: " + backup_.Path()))
      << Joined(cleaner_.LogMessages());
}

// A journal that holds what the run's guards refuse, copies that are not the ones the run
// made and copies reached through a link: each such entry is refused with a line, and
// nothing is written where it names; the run's own entries are still put back.
TEST_F(BackupTrust, ForgedEntriesAreRefusedOneByOneAndNothingIsWrittenWhereTheyName) {
  const std::string run = CleanedRun();
  ASSERT_FALSE(run.empty());
  ScratchFolder elsewhere("elsewhere");
  WriteBytes(elsewhere / "secret\\hosts", "127.0.0.1 localhost\r\n");
  WriteBytes(run + "\\files\\forged.dll", "not what the run kept");
  ASSERT_TRUE(MakeHostSymlink(elsewhere / "secret", run + "\\files\\L"));
  const std::string system32 = "C:\\windows\\system32\\velmora_forged.dll";
  const std::string stolen = elsewhere / "stolen_hosts";
  const auto file = [](std::wstring path, std::wstring copy, const std::string& bytes) {
    JournalEntry entry;
    entry.kind = JournalKind::File;
    entry.path = std::move(path);
    entry.copy = std::move(copy);
    entry.attributes = FILE_ATTRIBUTE_ARCHIVE;
    entry.size = bytes.size();
    entry.sha256 = Sha256Hex(bytes);
    return entry;
  };
  const auto key = [](JournalKind kind, std::wstring path, std::wstring value) {
    JournalEntry entry;
    entry.kind = kind;
    entry.path = std::move(path);
    entry.values = {{std::move(value), REG_SZ, {'x', 0}}};
    return entry;
  };
  const struct {
    JournalEntry entry;
    std::string line;
  } forged[] = {
      {file(Extended(system32), L"files\\forged.dll", "what the run kept"),
       system32 + " - its copy is not the one the run made"},
      {file(Extended(stolen), L"files\\L\\hosts", "127.0.0.1 localhost\r\n"),
       stolen + " - a link stands on the way to its copy"},
      {file(Extended(stolen), L"..\\..\\elsewhere\\hosts", "x"), stolen + " - its copy does not lie below"},
      {file(L"..\\stolen_hosts", L"files\\forged.dll", "not what the run kept"), "..\\stolen_hosts - "},
      {[] {
         JournalEntry entry;
         entry.kind = JournalKind::Folder;
         entry.path = L"\\\\?\\C:\\windows\\system32";
         return entry;
       }(),
       "C:\\windows\\system32 - a protected folder"},
      {key(JournalKind::WrittenValue, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
           L"Shell"),
       "Winlogon - a key whose values are protected"},
      {key(JournalKind::Key, L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager\\VelmoraForged",
           L"BootExecute"),
       "VelmoraForged - a key inside a protected tree"},
      {key(JournalKind::Key, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Forged"),
       "CurrentVersion\\Run - a key Windows or other programs share"},
      {key(JournalKind::Value, L"HKEY_USERS\\VelmoraCleaner_S-1-5-21-9-9-9-1001\\Software\\Forged", L"Forged"),
       "Software\\Forged - not a key the backup names"},
  };
  std::string journal = ReadBytes(run + "\\" + kJournalFileName);
  std::uint64_t number = 100000;
  for (const auto& f : forged) {
    JournalEntry entry = f.entry;
    entry.number = ++number;
    journal += JournalLine(entry) + "\n";
  }
  WriteBytes(run + "\\" + kJournalFileName, journal);
  const CleanerExit exit = cleaner_.Run(Undo(run));
  EXPECT_EQ(exit.exitCode, 1u);
  const Strings lines = cleaner_.LogMessages();
  for (const auto& f : forged) EXPECT_TRUE(Logged(lines, f.line)) << f.line << "\n" << Joined(lines);
  EXPECT_EQ(GetFileAttributesA(system32.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(stolen.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadBytes(elsewhere / "secret\\hosts"), "127.0.0.1 localhost\r\n");
  EXPECT_FALSE(KeyExistsForTest(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Control\\Session Manager\\VelmoraForged"));
  EXPECT_FALSE(ValueExistsForTest(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Forged"));
  EXPECT_EQ(installation_.TargetsGone(), Strings({"product process"})) << "the run's own entries come back";
  RemoveHostSymlink(run + "\\files\\L");
}

// After the run a link to another folder stands where a deleted folder was: undo moves
// nothing through it and makes nothing in it; with the link gone, undo puts everything back.
TEST_F(BackupTrust, ALinkPlacedWhereADeletedFolderStoodIsNotFollowed) {
  const std::string run = CleanedRun();
  ASSERT_FALSE(run.empty());
  ScratchFolder system("system_stand_in");
  ASSERT_TRUE(MakeHostSymlink(system.Path(), installation_.ProgramFolder()));
  const CleanerExit refused = cleaner_.Run(Undo(run));
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_TRUE(Logged(cleaner_.LogMessages(), "a link stands on the way to it"));
  WIN32_FIND_DATAA found{};
  const UniqueFind any(FindFirstFileA((system / "*").c_str(), &found));
  int entries = 0;
  if (any) {
    do entries += found.cFileName[0] != '.';
    while (FindNextFileA(any.Get(), &found));
  }
  EXPECT_EQ(entries, 0) << "nothing went into the linked folder";
  ASSERT_TRUE(RemoveHostSymlink(installation_.ProgramFolder()));
  EXPECT_EQ(cleaner_.Run(Undo(run)).exitCode, 0u) << Joined(cleaner_.LogMessages());
  EXPECT_EQ(installation_.TargetsGone(), Strings({"product process"}));
}

// The backup folder named through a second drive letter, inside the tree the rules delete:
// the run never moves its own backup, and the run can be undone.
TEST_F(BackupTrust, ABackupFolderUnderASecondDriveLetterIsRecognisedInsideTheDeletedTree) {
  MakeFolders(installation_.ProgramFolder() + "\\Backup");
  ASSERT_TRUE(MakeDriveLetter('Q', installation_.ProgramFolder()));
  const CleanerExit cleaned = cleaner_.Run("/Q /TL=" + (cleaner_ / "VC.LOG") + " /BACKUP=Q:\\Backup");
  const std::string run = OneRunIn(installation_.ProgramFolder() + "\\Backup");
  EXPECT_TRUE(RemoveDriveLetter('Q'));
  EXPECT_EQ(cleaned.exitCode, 1u) << "the program folder stays: it holds the backup";
  ASSERT_FALSE(run.empty());
  const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
  EXPECT_TRUE(journal.problems.empty());
  for (const JournalEntry& entry : journal.entries) {
    EXPECT_EQ(entry.path.find(L"\\Backup\\"), std::wstring::npos) << AnsiFromWide(entry.path);
  }
  EXPECT_EQ(cleaner_.Run(Undo(run)).exitCode, 0u) << Joined(cleaner_.LogMessages());
  EXPECT_EQ(installation_.TargetsGone(), Strings({"product process"}));
}

// With /ALLUSERS, a user who is not signed in: the journal names the user's keys by SID and
// hive file, never by the name the hive was loaded under for the run. Wine does not write an
// unloaded hive back to its file (Windows does), so the test writes the run's deletions into
// the file as Windows would have; the user then signs in, and undo puts the keys back into
// HKEY_USERS\<SID>.
TEST_F(BackupTrust, AKeyOfASignedOutUserIsJournaledBySidAndGoesBackIntoThatUsersHive) {
  const Strings seeded{"Gone", "Stay", "Target", "Keep", "OldName", "link", "link beside"};
  SecondProfile other(installation_.UserKey());
  const CleanerExit cleaned = cleaner_.Run(Clean() + " /ALLUSERS");
  EXPECT_EQ(cleaned.exitCode, 0u);
  const std::string run = OneRunIn(backup_.Path());
  ASSERT_FALSE(run.empty());
  const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
  std::wstring hive;
  for (const JournalEntry& entry : journal.entries) {
    EXPECT_EQ(entry.path.find(L"VelmoraCleaner_"), std::wstring::npos) << AnsiFromWide(entry.path);
    if (entry.path.starts_with(L"HKEY_USERS\\" + WideFromAnsi(other.Sid()))) hive = entry.hive;
  }
  ASSERT_FALSE(hive.empty()) << "the user's keys name their hive file";
  EXPECT_TRUE(hive.ends_with(L"\\NTUSER.DAT"));
  {
    // What Windows leaves in the file after the run: the product's keys and values gone.
    const std::string saved = AnsiFromWide(hive) + ".cleaned";
    ASSERT_EQ(RegLoadKeyW(HKEY_USERS, L"VelmoraTrustCheck", hive.c_str()), ERROR_SUCCESS);
    {
      UniqueHKey user;
      ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, ("VelmoraTrustCheck\\" + installation_.UserKey()).c_str(), 0, KEY_ALL_ACCESS,
                              user.Put()),
                ERROR_SUCCESS);
      RegDeleteTreeA(user.Get(), "Gone");
      RegDeleteValueA(user.Get(), "Target");
      UniqueHKey top;
      ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "VelmoraTrustCheck", 0, KEY_READ, top.Put()), ERROR_SUCCESS);
      DeleteFileA(saved.c_str());
      ASSERT_EQ(RegSaveKeyA(top.Get(), saved.c_str(), nullptr), ERROR_SUCCESS);
    }
    ASSERT_EQ(RegUnLoadKeyW(HKEY_USERS, L"VelmoraTrustCheck"), ERROR_SUCCESS);
    ASSERT_TRUE(MoveFileExA(saved.c_str(), AnsiFromWide(hive).c_str(), MOVEFILE_REPLACE_EXISTING));
  }
  other.LogOn();
  ASSERT_EQ(other.Present(), Strings({"Stay", "Keep", "OldName", "link beside"}));
  EXPECT_EQ(cleaner_.Run(Undo(run)).exitCode, 0u);
  EXPECT_EQ(other.Present(), seeded);
}

}  // namespace
