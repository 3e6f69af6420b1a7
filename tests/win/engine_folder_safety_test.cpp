#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/gateway/recording_effects.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/folder_safety.h"
#include "engine/run/deletion.h"
#include "platform/files/files.h"
#include "platform/handles.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"

namespace {

std::string ReadFolderValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
  char buffer[1024] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  const LONG result =
      RegQueryValueExA(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(opened);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::string(buffer) : std::string();
}

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

struct NamedFolder {
  std::string what;
  std::string path;
};

// The folders the machine itself names, each of which must never be emptied.
std::vector<NamedFolder> SystemNamedFolders() {
  std::vector<NamedFolder> folders = {
      {"Windows folder", WindowsFolder()},
      {"System folder", SystemFolder()},
      {"ProgramFilesDir", ReadFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir")},
      {"CommonFilesDir", ReadFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir")},
  };
  for (const char* name : {"Programs", "Start Menu", "Startup", "Desktop", "AppData", "Personal", "Fonts"}) {
    folders.push_back({std::string("user ") + name, ReadFolderValue(HKEY_CURRENT_USER, kShellFolders, name)});
  }
  for (const char* name :
       {"Common Programs", "Common Start Menu", "Common Startup", "Common Desktop", "Common AppData"}) {
    folders.push_back({name, ReadFolderValue(HKEY_LOCAL_MACHINE, kShellFolders, name)});
  }
  return folders;
}

// Gathered once for this file's many checks; a run gathers it once too.
const ProtectedFolderSet& MachineProtectedFolders() {
  static const ProtectedFolderSet folders = GatherProtectedFolders();
  return folders;
}

// A path that is not plain is refused as such; a plain one as the protected folder it names.
void ExpectRefused(const std::string& path, const std::string& why) {
  RecordingEffects effects;  // should the guard fail, nothing is deleted all the same
  EngineTestContext test(effects);
  test.context.protectedFolders = std::make_shared<const ProtectedFolderSet>(MachineProtectedFolders());
  DeleteFolderTree(test.context, path);
  EXPECT_TRUE(effects.actions.empty()) << why << ": " << path;
  const std::string problem = PlainPathProblem(path);
  const std::string line = problem.empty() ? kRefusedFolderText + path : kNotPlainPathText + path + " - " + problem;
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{line}) << why;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Sets the current folder for one scope.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& path) {
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    previous_ = buffer;
    SetCurrentDirectoryA(path.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::string previous_;
};

}  // namespace

TEST(FolderSafety, TheMachinesOwnFoldersAreRefusedInEveryForm) {
  for (const auto& folder : SystemNamedFolders()) {
    ASSERT_FALSE(folder.path.empty()) << folder.what << " is not set in this prefix";
    ExpectRefused(folder.path, folder.what);
    ExpectRefused(folder.path + "\\", folder.what + " with a trailing backslash");
    ExpectRefused(folder.path + "\\\\", folder.what + " with two trailing backslashes");
    ExpectRefused(LowerAscii(folder.path), folder.what + " in lower case");
    ExpectRefused(UpperAscii(folder.path), folder.what + " in upper case");
    ExpectRefused(folder.path + "\\.", folder.what + " with \\.");
    ExpectRefused(folder.path + "\\Velmora\\..", folder.what + " with \\x\\..");
    ExpectRefused(folder.path + ".", folder.what + " with a trailing dot");
    std::string slashed = folder.path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    ExpectRefused(slashed, folder.what + " with forward slashes");
    std::string doubled = folder.path;
    doubled.insert(3, "\\");
    ExpectRefused(doubled, folder.what + " with a doubled backslash");
    char shortName[MAX_PATH] = {};
    if (GetShortPathNameA(folder.path.c_str(), shortName, MAX_PATH) > 0 && folder.path != shortName) {
      ExpectRefused(shortName, folder.what + " by its short name");
    }
  }
}

// Windows' own folders inside the Windows, System, Program Files and ProgramData folders
// (driver packages, the installer cache, scheduled tasks, catalogs, the browser): refused
// whether or not they hold a file marked as Windows', and whether or not they exist yet.
TEST(FolderSafety, WindowsOwnFoldersInsideItsFoldersAreRefused) {
  const std::string programFiles = ReadFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  char programData[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableA("ProgramData", programData, MAX_PATH), 0u);
  for (const std::string& path :
       {WindowsFolder() + "\\inf", WindowsFolder() + "\\Temp", WindowsFolder() + "\\Installer", SystemFolder() + "\\Tasks",
        SystemFolder() + "\\catroot", SystemFolder() + "\\drivers", programFiles + "\\Internet Explorer",
        programFiles + "\\Windows Media Player", std::string(programData) + "\\Package Cache"}) {
    ExpectRefused(path, "Windows' own folder");
  }
}

TEST(FolderSafety, EveryFolderAboveAProtectedOneIsRefused) {
  for (const auto& folder : SystemNamedFolders()) {
    for (std::string above = FolderOfPath(folder.path); above.size() > 3; above = FolderOfPath(above)) {
      ExpectRefused(above, "above the " + folder.what);
    }
  }
}

TEST(FolderSafety, RootsAndSharesAreRefused) {
  for (const char* path : {"C:\\", "C:", "c:", "C:\\\\", "C:\\.", "C:\\Windows\\..", "\\", "\\\\", "Z:\\",
                                 "\\\\server\\share", "\\\\server\\share\\", "\\\\server", "\\\\?\\C:\\",
                                 "\\\\.\\PhysicalDrive0", ".", " "}) {
    ExpectRefused(path, "root");
  }
}

TEST(FolderSafety, RelativePathsAreRefusedWhateverTheyName) {
  CurrentFolder inSystem(SystemFolder());
  for (const char* path : {"..", "..\\", "C:..", "..\\system32", "..\\..", "system32\\..\\..", "drivers"}) {
    ExpectRefused(path, "relative to the System folder");
  }
}

TEST(FolderSafety, FoldersBesideAndBelowTheProtectedOnesAreDeleted) {
  const std::string programFiles = ReadFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  const std::string programs = ReadFolderValue(HKEY_CURRENT_USER, kShellFolders, "Programs");
  ASSERT_FALSE(programFiles.empty());
  ASSERT_FALSE(programs.empty());
  // Each is made for the test (the walk opens what it deletes), and removed afterwards: the
  // recording gateway deletes nothing.
  const struct {
    std::string path, made;
  } folders[] = {{programFiles + "\\Velmora\\QRV", programFiles + "\\Velmora"},
                 {programs + "\\QRV Anti-Virus", programs + "\\QRV Anti-Virus"},
                 {WindowsFolder() + "2", WindowsFolder() + "2"},
                 {WindowsFolder() + "\\Temp\\Velmora", WindowsFolder() + "\\Temp\\Velmora"}};
  for (const auto& [path, made] : folders) {
    MakeFolders(path);
    RecordingEffects effects;
    EngineTestContext test(effects);
    test.context.protectedFolders = std::make_shared<const ProtectedFolderSet>(MachineProtectedFolders());
    DeleteFolderTree(test.context, path);
    EXPECT_TRUE(test.reporter.infoLines.empty()) << path;
    EXPECT_EQ(effects.Count(RecordedAction::Kind::RemoveFolder), 1u) << path;
    RemoveTreeForTest(made);
  }
}

TEST(FolderSafety, TheListIsGatheredOncePerRunAndRefusalsAreReportedOnlyWhenAsked) {
  EngineTestContext test;
  const auto& set = ProtectedFolders(test.context);
  const auto* first = &set;
  EXPECT_EQ(&ProtectedFolders(test.context), first);
  const auto& folders = set.folders;
  for (const auto& folder : SystemNamedFolders()) {
    const std::string upper = UpperAscii(folder.path);
    EXPECT_NE(std::find(folders.begin(), folders.end(), upper), folders.end()) << folder.what;
  }
  EXPECT_TRUE(IsRefusedFolder(test.context, WindowsFolder()));
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_TRUE(RefuseFolder(test.context, SystemFolder()));
  EXPECT_FALSE(RefuseFolder(test.context, SystemFolder() + "\\Velmora"));
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{kRefusedFolderText + SystemFolder()});
}

TEST(FolderSafety, AFolderTheStateNamesIsProtectedToo) {
  ScratchFolder scratch("safety_state");
  EngineTestContext test;
  test.state.ProgramFilesFolder = scratch / "Programs";
  EXPECT_TRUE(IsRefusedFolder(test.context, scratch / "Programs"));
  EXPECT_TRUE(IsRefusedFolder(test.context, scratch.Path()));
  EXPECT_FALSE(IsRefusedFolder(test.context, scratch / "Programs\\Velmora"));
}

// A link inside the tree to a protected folder is never descended, and the folder it opens
// is refused by its identity whatever its name (a second drive letter, a short name and a
// link in the middle of the top's path are run end to end).
TEST(FolderSafety, ALinkInsideTheTreeToAProtectedFolderIsRefusedByWhatItOpens) {
  if (!RunningUnderWine()) GTEST_SKIP() << "host links are made through Wine; not under Wine";
  ScratchFolder scratch("identity");
  const std::string kept = "C:\\users\\Public\\Desktop\\velmora_kept.txt";
  WriteBytes(kept, "k");
  WriteBytes(scratch / "Velmora\\inner\\file.dat", "x");
  ASSERT_TRUE(MakeHostSymlink("C:\\users\\Public\\Desktop", scratch / "Velmora\\inner\\ln"));
  EngineTestContext test(Acting::Live);
  EXPECT_TRUE(RefuseFolderByIdentity(test.context, L"\\\\?\\" + WideFromAnsi(scratch / "Velmora\\inner\\ln")));
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{kRefusedFolderText + scratch / "Velmora\\inner\\ln"});
  EXPECT_FALSE(RefuseFolderByIdentity(test.context, WideFromAnsi(scratch / "Velmora\\inner")));
  DeleteFolderTree(test.context, scratch / "Velmora");
  EXPECT_EQ(ReadBytes(kept), "k");
  EXPECT_FALSE(Exists(scratch / "Velmora\\inner\\file.dat"));
  (void)RemoveHostSymlink(scratch / "Velmora\\inner\\ln");
  DeleteFileA(kept.c_str());
}
