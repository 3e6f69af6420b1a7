#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/guards/folder_safety.h"
#include "engine/run/shortcut_removal.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/process_test_helpers.h"

using process_tests::TestRun;

namespace {

// "ZDN Монитор.lnk", the name the Windows-1251 bytes of the startup link names table stand for.
const std::wstring kMonitorLink = L"ZDN \u041C\u043E\u043D\u0438\u0442\u043E\u0440.lnk";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "error " << GetLastError();
  file.Reset();
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
}

void RemoveFileByForce(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

// Points one Shell Folders value elsewhere, or removes it, for one test; puts back what was
// there before.
class ValueOverride {
 public:
  ValueOverride(HKEY root, const char* key, const char* name) : name_(name) {
    RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(), nullptr);
    DWORD size = 0;
    existed_ = RegQueryValueExA(key_.Get(), name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    if (existed_) {
      data_.resize(size);
      RegQueryValueExA(key_.Get(), name, nullptr, &type_, reinterpret_cast<BYTE*>(data_.data()), &size);
    }
  }
  ~ValueOverride() {
    if (existed_) {
      RegSetValueExA(key_.Get(), name_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                     static_cast<DWORD>(data_.size()));
    } else {
      RegDeleteValueA(key_.Get(), name_.c_str());
    }
  }
  ValueOverride(const ValueOverride&) = delete;
  ValueOverride& operator=(const ValueOverride&) = delete;

  bool Valid() const { return key_.Valid(); }
  void Set(const std::string& text) {
    RegSetValueExA(key_.Get(), name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
  }
  void SetNumber(DWORD number) {
    RegSetValueExA(key_.Get(), name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  void Remove() { RegDeleteValueA(key_.Get(), name_.c_str()); }

 private:
  UniqueHKey key_;
  std::string name_;
  bool existed_ = false;
  DWORD type_ = REG_SZ;
  std::string data_;
};

// The current folder for one test.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& path) {
    char old[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, old);
    old_ = old;
    SetCurrentDirectoryA(path.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(old_.c_str()); }

 private:
  std::string old_;
};

class ShortcutRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    // The code page run of these tests says which ANSI code page it expects.
    if (const char* expected = std::getenv("CLEANER_EXPECT_ACP")) {
      ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    ASSERT_TRUE(userValue.Valid());
    ASSERT_TRUE(commonValue.Valid());
    MakeFolders(userStartup);
    MakeFolders(commonStartup);
    userValue.Set(userStartup);
    commonValue.Set(commonStartup);
  }

  std::wstring UserLink() const { return Wide(userStartup) + L"\\" + kMonitorLink; }
  std::wstring CommonLink() const { return Wide(commonStartup) + L"\\" + kMonitorLink; }

  ScratchFolder folder{"links"};
  std::string userStartup = folder / "User Startup";
  std::string commonStartup = folder / "All Users Startup";
  ValueOverride userValue{HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Startup"};
  ValueOverride commonValue{HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            "Common Startup"};
  TestRun run{LiveEffects::Instance()};
};

}  // namespace

TEST_F(ShortcutRemoval, TheCyrillicLinkGoesFromBothStartupFoldersWithTheStartMenuFolder) {
  MakeFile(UserLink(), FILE_ATTRIBUTE_READONLY);
  MakeFile(CommonLink(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  MakeFile(Wide(userStartup) + L"\\Other.lnk");
  MakeFile(Wide(commonStartup) + L"\\ZDN.lnk");
  const std::string menu = folder / "Start Menu\\Programs\\ZDN";
  WriteBytes(menu + "\\Sub\\Uninstall.lnk", "x");
  run.state.StartMenuFolder = menu;

  RemoveShortcuts(run.context);

  EXPECT_FALSE(Exists(UserLink()));
  EXPECT_FALSE(Exists(CommonLink()));
  EXPECT_TRUE(Exists(Wide(userStartup) + L"\\Other.lnk"));
  EXPECT_TRUE(Exists(Wide(commonStartup) + L"\\ZDN.lnk"));
  EXPECT_EQ(GetFileAttributesA(menu.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((folder / "Start Menu\\Programs").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(run.reporter.infoLines.empty());
}

TEST_F(ShortcutRemoval, AnEmptyStartMenuFolderDeletesNoFolderButTheLinksGo) {
  MakeFile(UserLink());
  MakeFile(CommonLink());
  const std::string here = folder / "current";
  WriteBytes(here + "\\keep.txt", "x");
  const CurrentFolder current(here);

  RemoveShortcuts(run.context);

  EXPECT_FALSE(Exists(UserLink()));
  EXPECT_FALSE(Exists(CommonLink()));
  EXPECT_NE(GetFileAttributesA((here + "\\keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(run.reporter.infoLines.empty());
}

TEST_F(ShortcutRemoval, AMissingStartupValueSkipsItsLinksAndLeavesTheDriveRootAlone) {
  userValue.Remove();
  MakeFile(UserLink());
  MakeFile(CommonLink());
  // A link of the same name in the root of the current drive must survive.
  const CurrentFolder current("C:\\");
  const std::wstring decoy = L"C:\\" + kMonitorLink;
  const bool decoyMade = !Exists(decoy);
  if (decoyMade) MakeFile(decoy);

  RemoveShortcuts(run.context);

  const bool decoyLeft = Exists(decoy);
  if (decoyMade) RemoveFileByForce(decoy);
  EXPECT_TRUE(decoyLeft);
  EXPECT_TRUE(Exists(UserLink()));
  EXPECT_FALSE(Exists(CommonLink()));

  commonValue.Remove();
  MakeFile(CommonLink());
  RemoveShortcuts(run.context);
  EXPECT_TRUE(Exists(CommonLink()));
  EXPECT_TRUE(run.reporter.infoLines.empty());
}

TEST_F(ShortcutRemoval, ALinkThatResistsIsListedAndTheOtherStillGoes) {
  MakeFile(UserLink());
  MakeFile(CommonLink());
  // Held open without delete sharing by this process, so the deletion fails.
  UniqueFile held(CreateFileW(UserLink().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);

  RemoveShortcuts(run.context);
  held.Reset();

  EXPECT_TRUE(Exists(UserLink()));
  EXPECT_FALSE(Exists(CommonLink()));
  ASSERT_EQ(run.reporter.infoLines.size(), 1u);
  const std::string& line = run.reporter.infoLines[0];
  if (GetACP() == 1251) {
    EXPECT_EQ(line, "Could NOT delete " + userStartup + "\\" + kStartupLinkNames[0]);
  } else {
    EXPECT_EQ(line.rfind("Could NOT delete " + userStartup + "\\ZDN ", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 4), ".lnk");
  }
  RemoveFileByForce(UserLink());
}

TEST_F(ShortcutRemoval, AStartupValueThatIsNoTextEndsTheRunWithTheRegistryError) {
  userValue.SetNumber(5);
  MakeFile(UserLink());
  MakeFile(CommonLink());
  EXPECT_THROW(RemoveShortcuts(run.context), ERegistryException);
  EXPECT_TRUE(Exists(UserLink()));
  EXPECT_TRUE(Exists(CommonLink()));
}

TEST_F(ShortcutRemoval, AStartMenuFolderNamingTheWholeProgramsFolderIsRefusedAndReported) {
  char programs[MAX_PATH] = {};
  DWORD size = sizeof programs;
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         "Programs", RRF_RT_REG_SZ, nullptr, programs, &size),
            ERROR_SUCCESS);
  const std::string marker = std::string(programs) + "\\cln_marker_" + std::to_string(GetCurrentProcessId()) + ".lnk";
  WriteBytes(marker, "x");
  run.state.StartMenuFolder = programs;

  RemoveShortcuts(run.context);

  const bool markerLeft = GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
  DeleteFileA(marker.c_str());
  EXPECT_TRUE(markerLeft);
  ASSERT_EQ(run.reporter.infoLines.size(), 1u);
  EXPECT_EQ(run.reporter.infoLines[0].rfind(kRefusedFolderText, 0), 0u) << run.reporter.infoLines[0];
}
