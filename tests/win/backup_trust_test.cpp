#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/backup_folders.h"
#include "backup/backup_journal.h"
#include "backup/undo.h"
#include "platform/errors.h"
#include "platform/files/files_paths.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"
#include "tests/support/windows_answers.h"
#include "tests/support/windows_descriptors.h"

namespace {

constexpr wchar_t kSelf[] = L"S-1-5-21-1-2-3-500";
constexpr wchar_t kUserOwned[] = L"O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Windows' rules over Wine's answers. Wine keeps no owner: it reads every folder as owned by
// the account it runs as, with that account in the access list. This form answers as Windows
// would for a folder an elevated program made (the account read as Administrators), except for
// the folders named in madeByTheAccount, answered as Wine gives them: owned by the account, as
// Windows gives a folder that a program of the account made without elevation.
class WindowsOwners : public FolderSecurity {
 public:
  std::set<std::string> madeByTheAccount;  // ordinary paths
  bool KeepsOwners() override { return true; }
  std::wstring SecurityOf(const std::wstring& path) override {
    std::wstring text = FolderSecurity::SecurityOf(path);
    if (madeByTheAccount.contains(AnsiFromWide(OrdinaryPath(path)))) return text;
    const std::wstring self = Self();
    for (std::size_t at = text.find(self); !self.empty() && at != std::wstring::npos; at = text.find(self, at)) {
      text.replace(at, self.size(), L"BA");
    }
    return text;
  }
};

std::vector<std::string> Children(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return names;
  do {
    if (found.cFileName[0] != '.') names.push_back(found.cFileName);
  } while (FindNextFileA(find.Get(), &found));
  return names;
}

std::wstring Extended(const std::string& path) { return ExtendedPath(WideFromAnsi(path)); }

}  // namespace

// Each row stands for a folder as Windows gives it, judged as a level above the backup folder
// and as the backup folder itself (a part of the reason; empty: trusted); madeByRun: the
// cleaner made it in this run.
TEST(BackupFolderTrust, JudgesOwnerAndAccessListAsWindowsWould) {
  namespace wd = windows_descriptors;
  const struct {
    const char* windowsCase;
    std::wstring sddl;
    std::string above;
    std::string itself;
    bool madeByRun = false;
  } cases[] = {
      {"the private folder the backup makes", kPrivateFolderSecurity, "", ""},
      {"a default C:\\: users may add folders to the root", wd::kDriveRoot, "", "lets S-1-5-11 change it"},
      {"a default C:\\ProgramData: users may add files and folders", wd::kProgramData, "",
       "lets S-1-5-32-545 change it"},
      {"a default C:\\Windows\\Temp: users may add files and folders", wd::kWindowsTemp, "",
       "lets S-1-5-32-545 change it"},
      {"a default C:\\Program Files", wd::kProgramFiles, "", ""},
      {"a default System32, owned by TrustedInstaller", wd::kSystem32, "", ""},
      {"a folder an administrator made under C:\\ProgramData", wd::kAdminMadeUnderProgramData, "",
       "lets S-1-5-32-545 change it"},
      {"a folder a user made under C:\\ProgramData", wd::kUserMadeUnderProgramData, "owned by S-1-5-21-1-2-3-1001",
       "owned by S-1-5-21-1-2-3-1001"},
      {"a folder an administrator made under C:\\: signed-in users may delete and rename",
       wd::kAdminMadeUnderRoot, "lets S-1-5-11 change it", "lets S-1-5-11 change it"},
      {"a folder a deployment script made private", wd::kPrivateByScript, "", ""},
      {"a folder where Users may delete what others made", L"O:BAD:(A;OICI;FA;;;BA)(A;;DT;;;BU)",
       "lets S-1-5-32-545 change it", "lets S-1-5-32-545 change it"},
      {"a folder Users may re-permission", L"O:BAD:(A;OICI;FA;;;BA)(A;;WD;;;BU)", "lets S-1-5-32-545 change it",
       "lets S-1-5-32-545 change it"},
      {"a folder Users may take ownership of", L"O:BAD:(A;OICI;FA;;;BA)(A;;WO;;;BU)", "lets S-1-5-32-545 change it",
       "lets S-1-5-32-545 change it"},
      {"a folder Users may rename", L"O:BAD:(A;OICI;FA;;;BA)(A;;SD;;;BU)", "lets S-1-5-32-545 change it",
       "lets S-1-5-32-545 change it"},
      {"a folder Everyone may write (add entries)", L"O:BAD:(A;;GW;;;WD)", "", "lets S-1-1-0 change it"},
      {"a descriptor without an access list", L"O:BA", "lets everyone change it", "lets everyone change it"},
      // Any program of the administrator's account, not elevated, may change what the account
      // owns (its access list included): made by one, or taken over by the account.
      {"a folder the administrator's own account owns", L"O:S-1-5-21-1-2-3-500D:(A;OICI;FA;;;BA)",
       "owned by the account the cleaner runs as (S-1-5-21-1-2-3-500)",
       "owned by the account the cleaner runs as (S-1-5-21-1-2-3-500)"},
      {"a folder that lets the administrator's own account write", L"O:BAD:(A;OICI;FA;;;S-1-5-21-1-2-3-500)",
       "lets S-1-5-21-1-2-3-500 change it", "lets S-1-5-21-1-2-3-500 change it"},
      {"the same folder, made by this run (where the owner set is not kept)",
       L"O:S-1-5-21-1-2-3-500D:(A;OICI;FA;;;S-1-5-21-1-2-3-500)", "", "", true},
      {"rights Everyone gets only on what is made inside", L"O:BAD:(A;OICIIO;FA;;;WD)(A;;FA;;;BA)", "", ""},
      {"a deny entry", L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)", "", ""},
      {"a folder whose security cannot be read", L"", "cannot be read", "cannot be read"},
  };
  for (const auto& c : cases) {
    for (const bool itself : {false, true}) {
      const std::string& expected = itself ? c.itself : c.above;
      const std::string reason = UntrustedFolderReason(c.sddl, kSelf, c.madeByRun, itself);
      if (expected.empty()) {
        EXPECT_EQ(reason, "") << c.windowsCase << (itself ? " (itself)" : " (above)");
      } else {
        EXPECT_NE(reason.find(expected), std::string::npos)
            << c.windowsCase << (itself ? " (itself)" : " (above)") << ": " << reason;
      }
    }
  }
}

// Windows: /BACKUP=C:\ProgramData\VelmoraCleaner\Backup on a default installation, the levels
// above answered with the real descriptors of C:\ and C:\ProgramData (the scratch folder and
// its parent stand for them). Users may add entries there, which cannot touch the private
// levels the run makes: the run keeps its backup. A VelmoraCleaner level a user made first is
// refused before any change.
TEST(BackupFolderTrust, ABackupBelowAUsersAddableLevelIsTakenUnlessAUserMadeTheNextLevel) {
  namespace wd = windows_descriptors;
  for (const bool userMadeVendor : {false, true}) {
    ScratchFolder scratch("addable");
    const std::string vendor = scratch / "VelmoraCleaner";
    if (userMadeVendor) MakeFolders(vendor);
    const std::string file = scratch / "product.dll";
    WriteBytes(file, "product");
    WindowsAnswers windows;
    windows.answers[scratch.Path()] = wd::kProgramData;
    windows.answers[scratch.Path().substr(0, 3)] = wd::kDriveRoot;
    if (userMadeVendor) windows.answers[vendor] = wd::kUserMadeUnderProgramData;
    BackupEffects effects(LiveEffects::Instance());
    effects.UseFolderSecurity(windows);
    if (userMadeVendor) {
      EXPECT_THROW(effects.BeginRun(vendor + "\\Backup", nullptr, nullptr), Exception);
      EXPECT_EQ(ReadBytes(file), "product");
      continue;
    }
    std::vector<std::string> refused;
    effects.BeginRun(vendor + "\\Backup", [&](const std::string& line) { refused.push_back(line); }, nullptr);
    EXPECT_EQ(effects.RemoveFile(Extended(file)), DWORD{ERROR_SUCCESS}) << testing::PrintToString(refused);
    effects.EndRun();
    EXPECT_EQ(Children(vendor + "\\Backup").size(), 1u);
    EXPECT_FALSE(Exists(file));
  }
}

TEST(BackupFolderTrust, LevelsOfADrivePath) {
  const struct {
    std::wstring folder;
    std::vector<std::wstring> levels;
  } cases[] = {
      {LR"(\\?\C:\a\b)", {LR"(\\?\C:\)", LR"(\\?\C:\a)", LR"(\\?\C:\a\b)"}},
      {LR"(\\?\C:\)", {LR"(\\?\C:\)"}},
      {LR"(C:\a)", {}},
      {LR"(\\?\UNC\server\share)", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderLevels(c.folder), c.levels) << AnsiFromWide(c.folder);
}

// Windows: a user made C:\ProgramData\Vendor\Backup (or the folder above it) before the
// administrator's run and owns it. The run stops before any change.
TEST(BackupFolderTrust, ARunStopsBeforeAnyChangeWhenAUserOwnsTheBackupFolderOrOneAbove) {
  for (const bool above : {false, true}) {
    ScratchFolder scratch("trust");
    const std::string backup = scratch / "Vendor\\Backup";
    MakeFolders(backup);
    WriteBytes(scratch / "product.dll", "product");
    WindowsAnswers windows;
    windows.answers[above ? scratch / "Vendor" : backup] = kUserOwned;
    BackupEffects effects(LiveEffects::Instance());
    effects.UseFolderSecurity(windows);
    std::vector<std::string> lines;
    EXPECT_THROW(effects.BeginRun(backup, [&](const std::string& line) { lines.push_back(line); }, nullptr), Exception);
    EXPECT_FALSE(effects.On());
    EXPECT_EQ(Children(backup), std::vector<std::string>{}) << above;
    EXPECT_EQ(ReadBytes(scratch / "product.dll"), "product");
  }
}

// A run whose backup kept one removed file; its folder, or empty when the run made none.
static std::string BackedUpRun(const ScratchFolder& scratch) {
  const std::string file = scratch / "Product\\product.dll";
  WriteBytes(file, "product");
  BackupEffects effects(LiveEffects::Instance());
  effects.BeginRun(scratch / "Backup", nullptr, nullptr);
  EXPECT_EQ(effects.RemoveFile(Extended(file)), DWORD{ERROR_SUCCESS});
  effects.EndRun();
  const std::vector<std::string> runs = Children(scratch / "Backup");
  EXPECT_EQ(runs.size(), 1u);
  return runs.size() == 1 ? scratch / "Backup\\" + runs.front() : std::string();
}

// Windows: the run folder lies where a user can write (a folder the user owns): undo follows
// none of its journal, and changes nothing.
TEST(BackupFolderTrust, UndoRefusesARunFolderAUserOwnsAndChangesNothing) {
  ScratchFolder scratch("trust");
  const std::string run = BackedUpRun(scratch);
  ASSERT_FALSE(run.empty());
  const std::string file = scratch / "Product\\product.dll";
  for (const std::string& untrusted : {run, run + "\\" + kJournalFileName, scratch / "Backup"}) {
    WindowsAnswers windows;
    windows.answers[untrusted] = kUserOwned;
    EngineTestContext test;
    EXPECT_THROW(RunUndo(test.context, run, windows), Exception) << untrusted;
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << untrusted;
  }
  EngineTestContext test;
  RunUndo(test.context, run);
  EXPECT_EQ(test.context.outcome.notRemoved, 0);
  EXPECT_EQ(ReadBytes(file), "product");
}

// Windows: an administrator (or any program of that account, not elevated) made the backup
// folder before the run: it is owned by the account, not by Administrators, and the run stops
// before any change with a line that says so. A folder this run makes reads the same under
// Wine, which keeps no owner: it passes, since the run made it; a later run, which did not,
// refuses it as Windows would refuse a folder of that account.
TEST(BackupFolderTrust, AFolderOwnedByTheAccountTheCleanerRunsAsPassesOnlyIfThisRunMadeIt) {
  ScratchFolder scratch("owner");
  const std::string backup = scratch / "Backup";
  const std::string file = scratch / "Product\\product.dll";
  WriteBytes(file, "product");
  WindowsOwners windows;
  windows.madeByTheAccount.insert(backup);

  BackupEffects first(LiveEffects::Instance());
  first.UseFolderSecurity(windows);
  std::vector<std::string> refused;
  first.BeginRun(backup, [&](const std::string& line) { refused.push_back(line); }, nullptr);
  EXPECT_EQ(first.RemoveFile(Extended(file)), DWORD{ERROR_SUCCESS}) << testing::PrintToString(refused);
  first.EndRun();
  ASSERT_EQ(Children(backup).size(), 1u);

  WriteBytes(file, "product again");
  BackupEffects second(LiveEffects::Instance());
  second.UseFolderSecurity(windows);
  try {
    second.BeginRun(backup, nullptr, nullptr);
    ADD_FAILURE() << "a backup folder owned by the account was taken";
  } catch (const Exception& refusal) {
    EXPECT_NE(std::string(refusal.what()).find("owned by the account the cleaner runs as"), std::string::npos)
        << refusal.what();
  }
  EXPECT_FALSE(second.On());
  EXPECT_EQ(ReadBytes(file), "product again");
  EXPECT_EQ(Children(backup).size(), 1u);
}

// Windows: a run folder, with a journal, that a program of the administrator's account made
// (the account owns it): undo follows none of it and changes nothing.
TEST(BackupFolderTrust, UndoRefusesARunFolderOwnedByTheAccountTheCleanerRunsAs) {
  ScratchFolder scratch("owner");
  const std::string run = BackedUpRun(scratch);
  ASSERT_FALSE(run.empty());
  const std::string file = scratch / "Product\\product.dll";
  WindowsOwners windows;
  windows.madeByTheAccount.insert(run);
  EngineTestContext test;
  EXPECT_THROW(RunUndo(test.context, run, windows), Exception);
  EXPECT_FALSE(Exists(file));
  RunUndo(test.context, run);  // Wine's own answers: the run's folder passes
  EXPECT_EQ(ReadBytes(file), "product");
}
