#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "backup/backup_folders.h"
#include "engine/cleaner_state.h"
#include "startup/own_folder.h"
#include "tests/support/windows_answers.h"
#include "tests/support/windows_descriptors.h"
#include "tests/support/wine_test_support.h"

namespace {

namespace wd = windows_descriptors;

// A file copied into a folder inherits the folder's file entries.
constexpr wchar_t kFileInPrivateFolder[] = L"O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";
constexpr wchar_t kFileAUserMade[] =
    L"O:" WD_USER L"D:AI(A;ID;FA;;;" WD_USER L")(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)";
constexpr wchar_t kFileUsersMayWrite[] = L"O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)";

// The package laid out in a scratch folder standing for a place on Windows: `place` holds the
// program's folder `VelmoraCleaner` with its three files. The levels above the scratch folder
// answer as an administrators-only folder would.
struct Package {
  ScratchFolder scratch{"own"};
  std::string place = scratch / "Place";
  std::string folder = place + "\\VelmoraCleaner";
  std::string program = folder + "\\Cleaner.exe";
  WindowsAnswers windows;

  Package() {
    WriteBytes(program, "MZ");
    WriteBytes(folder + "\\" + kRuleFileName, "rules");
    WriteBytes(folder + "\\" + kSettingsFileName, "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n");
    windows.self = wd::kAdministrator;
    windows.keepsOwners = true;
    windows.fallback = wd::kPrivateByScript;
    windows.answers[scratch.Path().substr(0, 3)] = wd::kDriveRoot;
    for (const char* name : {"Cleaner.exe", kRuleFileName, kSettingsFileName}) {
      windows.answers[folder + "\\" + name] = kFileInPrivateFolder;
    }
  }
};

}  // namespace

// Each row stands for a place the program was copied to on Windows, with the descriptors
// Windows gives it there: the folder above, the program's folder, and (where set) one of its
// files. A part of the refusal, or empty where the program may read its folder.
TEST(OwnFolder, RefusedWhereAnotherAccountCanChangeWhatTheProgramReads) {
  const struct {
    const char* windowsCase;
    std::wstring place;
    std::wstring folder;
    std::string file;        // a file whose own descriptor is `fileSddl`
    std::wstring fileSddl;
    std::string refusal;
  } cases[] = {
      {"a folder made under C:\\Program Files by an elevated administrator", wd::kProgramFiles,
       wd::kAdminMadeUnderProgramFiles, "", L"", ""},
      {"a folder a deployment script made private under C:\\ProgramData", wd::kProgramData, wd::kPrivateByScript, "",
       L"", ""},
      {"the running administrator's own Downloads", wd::kPrivateByScript, wd::kAdministratorsDownloads, "", L"", ""},
      {"a folder an administrator made under C:\\ProgramData: Users may add a settings file", wd::kProgramData,
       wd::kAdminMadeUnderProgramData, "", L"", "VelmoraCleaner: it lets S-1-5-32-545 change it"},
      {"a folder a user made under C:\\ProgramData, with the settings file the user left", wd::kProgramData,
       wd::kUserMadeUnderProgramData, "", L"", "VelmoraCleaner: it is owned by S-1-5-21-1-2-3-1001"},
      {"a folder an administrator made under C:\\: every signed-in user has Modify", wd::kDriveRoot,
       wd::kAdminMadeUnderRoot, "", L"", "it lets S-1-5-11 change it"},
      {"a private folder in a folder an administrator made under C:\\ (C:\\Tools): users may rename it away",
       wd::kAdminMadeUnderRoot, wd::kPrivateByScript, "", L"", "Place: it lets S-1-5-11 change it"},
      {"a private folder holding a settings file a user made before it was made private", wd::kProgramData,
       wd::kPrivateByScript, kSettingsFileName, kFileAUserMade, "QRV_RC.INI: it is owned by S-1-5-21-1-2-3-1001"},
      {"a private folder whose rule file every signed-in user may write", wd::kProgramData, wd::kPrivateByScript,
       kRuleFileName, kFileUsersMayWrite, "Do_list.dat: it lets S-1-5-11 change it"},
      {"C:\\ProgramData itself", wd::kDriveRoot, wd::kProgramData, "", L"", "it lets S-1-5-32-545 change it"},
  };
  for (const auto& c : cases) {
    Package package;
    package.windows.answers[package.place] = c.place;
    package.windows.answers[package.folder] = c.folder;
    if (!c.file.empty()) package.windows.answers[package.folder + "\\" + c.file] = c.fileSddl;
    const OwnFolderVerdict verdict = JudgeOwnFolder(package.windows, package.program);
    EXPECT_EQ(verdict.note, "") << c.windowsCase;
    if (c.refusal.empty()) {
      EXPECT_EQ(verdict.problem, "") << c.windowsCase;
    } else {
      EXPECT_NE(verdict.problem.find(c.refusal), std::string::npos) << c.windowsCase << ": " << verdict.problem;
    }
  }
}

// Windows: the package on a FAT stick, which keeps no access lists: the program goes on, and
// its trace log says so.
TEST(OwnFolder, AVolumeWithoutAccessListsGoesOnWithALine) {
  Package package;
  package.windows.keepsAccessLists = false;
  package.windows.answers[package.folder] = wd::kUserMadeUnderProgramData;
  const OwnFolderVerdict verdict = JudgeOwnFolder(package.windows, package.program);
  EXPECT_EQ(verdict.problem, "");
  EXPECT_EQ(verdict.note, std::string(kOwnFolderNoAccessListsText) + package.folder);
}

// Wine's own answers (every file owned by the account it runs as): the program's folder passes.
TEST(OwnFolder, WinesOwnAnswersPass) {
  Package package;
  WindowsAnswers system;
  EXPECT_EQ(JudgeOwnFolder(system, package.program).problem, "");
}

// The commands of the deployment guide against the default descriptors of the places they
// meet on Windows: where each copies or runs the cleaner, and where its backup goes. A part of
// the refusal, or empty where the command works.
TEST(OwnFolder, TheDeploymentGuidesCommandsMeetPlacesThatPass) {
  const struct {
    const char* command;
    std::wstring place;   // the folder the cleaner's folder is made in
    std::wstring folder;  // the cleaner's folder as the command leaves it
    std::string refusal;
  } places[] = {
      {"install.cmd: mkdir below Program Files (x86), run as SYSTEM or an administrator", wd::kProgramFiles,
       wd::kAdminMadeUnderProgramFiles, ""},
      {"Group Policy script: the local copy below Program Files (x86)", wd::kProgramFiles,
       wd::kAdminMadeUnderProgramFiles, ""},
      {"Ansible: C:\\Program Files (x86)\\VelmoraCleaner", wd::kProgramFiles, wd::kAdminMadeUnderProgramFiles, ""},
      {"not in the guide: an administrator's mkdir below C:\\ProgramData", wd::kProgramData,
       wd::kAdminMadeUnderProgramData, "it lets S-1-5-32-545 change it"},
      {"not in the guide: the same folder a user made first", wd::kProgramData, wd::kUserMadeUnderProgramData,
       "it is owned by S-1-5-21-1-2-3-1001"},
      {"not in the guide: C:\\Tools\\VelmoraCleaner made by an administrator", wd::kDriveRoot,
       wd::kAdminMadeUnderRoot, "it lets S-1-5-11 change it"},
  };
  for (const auto& c : places) {
    Package package;
    package.windows.answers[package.place] = c.place;
    package.windows.answers[package.folder] = c.folder;
    const std::string problem = JudgeOwnFolder(package.windows, package.program).problem;
    if (c.refusal.empty()) {
      EXPECT_EQ(problem, "") << c.command;
    } else {
      EXPECT_NE(problem.find(c.refusal), std::string::npos) << c.command << ": " << problem;
    }
  }

  // /BACKUP=C:\ProgramData\VelmoraCleaner\Backup: the scratch folder stands for C:\ProgramData,
  // below the real C:\. The levels that exist pass; the ones missing are made private by the run.
  const struct {
    const char* command;
    std::wstring vendor;  // the VelmoraCleaner level as found; empty: missing
    std::string refusal;
  } backups[] = {
      {"/BACKUP=C:\\ProgramData\\VelmoraCleaner\\Backup on a fresh machine", L"", ""},
      {"the same after an administrator made C:\\ProgramData\\VelmoraCleaner", wd::kAdminMadeUnderProgramData, ""},
      {"the same after a user made C:\\ProgramData\\VelmoraCleaner", wd::kUserMadeUnderProgramData,
       "VelmoraCleaner: it is owned by S-1-5-21-1-2-3-1001"},
  };
  for (const auto& c : backups) {
    ScratchFolder scratch("deploy");
    WindowsAnswers windows;
    windows.self = wd::kAdministrator;
    windows.keepsOwners = true;
    windows.fallback = wd::kPrivateByScript;
    windows.answers[scratch.Path().substr(0, 3)] = wd::kDriveRoot;
    windows.answers[scratch.Path()] = wd::kProgramData;
    if (!c.vendor.empty()) {
      MakeFolders(scratch / "VelmoraCleaner");
      windows.answers[scratch / "VelmoraCleaner"] = c.vendor;
    }
    std::size_t missing = 0;
    const std::wstring backup = ExtendedPath(WideFromAnsi(scratch / "VelmoraCleaner\\Backup"));
    const std::string problem = ExistingLevelsProblem(windows, backup, missing);
    if (c.refusal.empty()) {
      EXPECT_EQ(problem, "") << c.command;
      EXPECT_EQ(missing, FolderLevels(backup).size() - (c.vendor.empty() ? 2 : 1)) << c.command;
    } else {
      EXPECT_NE(problem.find(c.refusal), std::string::npos) << c.command << ": " << problem;
    }
  }
}
