#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "startup/folder_discovery.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/trace_messages.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/startup_rig.h"

namespace {

const std::string kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::string kShellFolders = kCurrentVersion + "\\Explorer\\Shell Folders";
const std::string kSharedFiles = "Software\\VelmoraLab\\SharedFiles";

// Points the machine's folder values at scratch folders and puts them back afterwards.
class DiscoveryTest : public ::testing::Test {
 protected:
  DiscoveryTest()
      : programFilesDir_(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir"),
        commonFilesDir_(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir"),
        commonPrograms_(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"),
        userPrograms_(HKEY_CURRENT_USER, kShellFolders, "Programs"),
        sharedFilesKey_(HKEY_LOCAL_MACHINE, kSharedFiles) {
    MakeFolders(pf());
    MakeFolders(cf());
    MakeFolders(commonMenu());
    MakeFolders(userMenu());
    SeedStringValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", pf());
    SeedStringValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir", cf());
    SeedStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", commonMenu());
    SeedStringValue(HKEY_CURRENT_USER, kShellFolders, "Programs", userMenu());
  }

  std::string pf() const { return scratch_ / "Program Files"; }
  std::string cf() const { return scratch_ / "Common Files"; }
  std::string commonMenu() const { return scratch_ / "Common Programs"; }
  std::string userMenu() const { return scratch_ / "User Programs"; }

  std::vector<std::string> DiscoverWithTrace() {
    const std::string log = scratch_ / "VC.LOG";
    rig_.TraceInto(log);
    DiscoverFolders(rig_.context);
    rig_.trace.Close();
    return TraceMessages(log);
  }

  ScratchFolder scratch_{"discovery"};
  SavedRegistryValue programFilesDir_;
  SavedRegistryValue commonFilesDir_;
  SavedRegistryValue commonPrograms_;
  SavedRegistryValue userPrograms_;
  TemporaryKey sharedFilesKey_;
  StartupRig rig_;
};

struct ProgramFolderCase {
  const char* name;
  std::vector<std::string> present;
  std::string expected;
};

TEST_F(DiscoveryTest, ProgramFolderIsTheFirstNameThatExistsElseVelmoraLab) {
  const std::vector<ProgramFolderCase> cases = {
      {"both", {"Velmora Lab", "Corvantix"}, "Velmora Lab"},
      {"only Corvantix", {"Corvantix"}, "Corvantix"},
      {"only Velmora Lab", {"Velmora Lab"}, "Velmora Lab"},
      {"neither", {"Velmora Anti-Virus"}, "Velmora Lab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& folder : {"Velmora Lab", "Corvantix", "Velmora Anti-Virus"}) {
      RemoveTreeForTest(pf() + "\\" + folder);
    }
    for (const auto& folder : c.present) MakeFolders(pf() + "\\" + folder);
    StartupRig rig;
    DiscoverFolders(rig.context);
    EXPECT_EQ(rig.state.ProgramFilesFolder, pf());
    EXPECT_EQ(rig.state.ProgramFolder, pf() + "\\" + c.expected);
  }
}

struct SharedFolderCase {
  const char* name;
  std::vector<std::string> present;  // folders under Common Files
  enum { NoKey, KeyWithoutFolder, KeyWithFolder } key;
  std::string expected;  // under Common Files, or the Folder value as it stands
};

TEST_F(DiscoveryTest, SharedFolderFromTheFoldersAndTheSharedFilesKey) {
  const std::string folderValue = "D:\\Elsewhere\\Not There";
  const std::vector<SharedFolderCase> cases = {
      {"no key, ZDN present", {"ZDN Shared Files", "QRV Shared Files"}, SharedFolderCase::NoKey,
       cf() + "\\ZDN Shared Files"},
      {"no key, nothing present", {"QRV Shared Files"}, SharedFolderCase::NoKey, cf() + "\\Velmora Lab"},
      {"key without Folder, both present", {"ZDN Shared Files", "QRV Shared Files"},
       SharedFolderCase::KeyWithoutFolder, cf() + "\\QRV Shared Files"},
      {"key without Folder, only ZDN", {"ZDN Shared Files"}, SharedFolderCase::KeyWithoutFolder,
       cf() + "\\ZDN Shared Files"},
      {"key without Folder, nothing present", {}, SharedFolderCase::KeyWithoutFolder, cf() + "\\Velmora Lab"},
      {"key with Folder wins over every folder", {"ZDN Shared Files", "QRV Shared Files"},
       SharedFolderCase::KeyWithFolder, folderValue},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& folder : {"ZDN Shared Files", "QRV Shared Files", "Velmora Lab"}) {
      RemoveTreeForTest(cf() + "\\" + folder);
    }
    for (const auto& folder : c.present) MakeFolders(cf() + "\\" + folder);
    RemoveKeyForTest(HKEY_LOCAL_MACHINE, kSharedFiles);
    if (c.key != SharedFolderCase::NoKey) SeedKey(HKEY_LOCAL_MACHINE, kSharedFiles);
    if (c.key == SharedFolderCase::KeyWithFolder) {
      SeedStringValue(HKEY_LOCAL_MACHINE, kSharedFiles, "Folder", folderValue);
    }
    StartupRig rig;
    DiscoverFolders(rig.context);
    EXPECT_EQ(rig.state.SharedFolder, c.expected);
  }
}

struct StartMenuCase {
  const char* name;
  bool commonValue;                   // "Common Programs" present
  std::vector<std::string> inCommon;  // product folders under the common Programs folder
  std::vector<std::string> inUser;    // under the user's Programs folder
  std::string folderStart;
  std::string expected;  // "" for none; "common\\X" / "user\\X" relative to the two bases
};

TEST_F(DiscoveryTest, StartMenuFolderFromCommonOrUserProgramsAndTheStartSetting) {
  const std::vector<StartMenuCase> cases = {
      {"common Velmora Anti-Virus", true, {"Velmora Anti-Virus", "Corvantix"}, {}, "", "common\\Velmora Anti-Virus"},
      {"common Corvantix", true, {"Corvantix"}, {"Velmora Anti-Virus"}, "", "common\\Corvantix"},
      {"common holds neither, user's is not tried", true, {}, {"Velmora Anti-Virus"}, "", ""},
      {"no common value: the user's Programs", false, {"Velmora Anti-Virus"}, {"Corvantix"}, "", "user\\Corvantix"},
      {"no common value, user's holds neither", false, {}, {}, "", ""},
      {"START wins even when missing", true, {"Velmora Anti-Virus"}, {}, "X:\\Menu\\Gone", "X:\\Menu\\Gone"},
      {"START wins over nothing found", false, {}, {}, "Y:\\Start", "Y:\\Start"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& base : {commonMenu(), userMenu()}) {
      RemoveTreeForTest(base + "\\Velmora Anti-Virus");
      RemoveTreeForTest(base + "\\Corvantix");
    }
    for (const auto& folder : c.inCommon) MakeFolders(commonMenu() + "\\" + folder);
    for (const auto& folder : c.inUser) MakeFolders(userMenu() + "\\" + folder);
    if (c.commonValue) {
      SeedStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", commonMenu());
    } else {
      RemoveValueForTest(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
    }
    StartupRig rig;
    rig.state.FolderStart = c.folderStart;
    DiscoverFolders(rig.context);
    std::string expected = c.expected;
    if (expected.rfind("common\\", 0) == 0) expected = commonMenu() + expected.substr(6);
    if (expected.rfind("user\\", 0) == 0) expected = userMenu() + expected.substr(4);
    EXPECT_EQ(rig.state.StartMenuFolder, expected);
  }
}

TEST_F(DiscoveryTest, TracesEveryValueFoundInOrder) {
  SeedKey(HKEY_LOCAL_MACHINE, kSharedFiles);
  SeedStringValue(HKEY_LOCAL_MACHINE, kSharedFiles, "Folder", cf() + "\\Mine");
  MakeFolders(commonMenu() + "\\Velmora Anti-Virus");
  EXPECT_EQ(DiscoverWithTrace(),
            (std::vector<std::string>{"ProgramFilesDir have been read", "CommonFilesDir have been read",
                                      "SharedFiles have been read", "Common Programs have been read"}));
}

TEST_F(DiscoveryTest, TracesTheUsersProgramsWhenTheCommonValueIsMissing) {
  RemoveValueForTest(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
  RemoveValueForTest(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  EXPECT_EQ(DiscoverWithTrace(), (std::vector<std::string>{"CommonFilesDir have been read",
                                                           "Programs have been read"}));
}

TEST_F(DiscoveryTest, CommonFilesDirIsReadEvenWithoutProgramFilesDir) {
  RemoveValueForTest(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
  MakeFolders(cf() + "\\ZDN Shared Files");
  StartupRig rig;
  DiscoverFolders(rig.context);
  EXPECT_EQ(rig.state.ProgramFilesFolder, "");
  // No product folder from the root of the current drive.
  EXPECT_EQ(rig.state.ProgramFolder, "");
  EXPECT_EQ(rig.state.SharedFolder, cf() + "\\ZDN Shared Files");
}

// A product folder name at the root of the current drive is not taken for the Start Menu
// folder when neither Programs value is there.
TEST_F(DiscoveryTest, WithoutAnyProgramsValueNoStartMenuFolderIsLookedForAtTheDriveRoot) {
  RemoveValueForTest(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
  RemoveValueForTest(HKEY_CURRENT_USER, kShellFolders, "Programs");
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(scratch_.Path().c_str()));
  const std::string atRoot = scratch_.Path().substr(0, 2) + "\\Velmora Anti-Virus";
  const bool madeHere = GetFileAttributesA(atRoot.c_str()) == INVALID_FILE_ATTRIBUTES;
  MakeFolders(atRoot);
  DiscoverFolders(rig_.context);
  if (madeHere) RemoveTreeForTest(atRoot);
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(rig_.state.StartMenuFolder, "");
}

TEST_F(DiscoveryTest, NoTraceLinesWhenTheTraceIsOff) {
  const std::string log = scratch_ / "VC.LOG";
  rig_.trace.Open(log);  // open, but TraceLogOn stays false
  DiscoverFolders(rig_.context);
  rig_.trace.Close();
  EXPECT_TRUE(TraceMessages(log).empty());
}

TEST_F(DiscoveryTest, ANonStringFolderValueRaisesTheDataTypeError) {
  SeedDwordValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", 7);
  StartupRig rig;
  try {
    DiscoverFolders(rig.context);
    FAIL() << "no error raised";
  } catch (const ERegistryException& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'ProgramFilesDir'");
  }
}

}  // namespace
