#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "engine/rules/rule_sections.h"
#include "platform/handles.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/support/scratch_key.h"
#include "tests/support/second_profile.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/wine_test_support.h"
#include "tools/rules/rule_check.h"

namespace {

constexpr char kAcmeProduct[] = "{6B0D6E47-2A0B-4C6B-9A55-1F0A51C1A001}";
constexpr char kBoltProduct[] = "{7C1E7F58-3B1C-4D7C-8B66-2F1B62D2B001}";
constexpr DWORD kUnknownProduct = 1605;  // ERROR_UNKNOWN_PRODUCT
constexpr int kInstallStateUnknown = -1;
constexpr int kInstallStateDefault = 5;
constexpr char kUnattended[] = "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\n[End_Options]\r\n";

struct ModuleTraits {
  using Type = HMODULE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return FreeLibrary(h) != 0; }
};
using LibraryModule = UniqueHandle<ModuleTraits>;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string RuleToolPath() { return BuildFolder() + "\\RuleTool.exe"; }
std::string PackagePath(const std::string& name) { return BuildFolder() + "\\packages\\" + name + ".msi"; }

DWORD RuleTool(const std::string& arguments, const std::string& folder) {
  return RunAndWait(Quoted(RuleToolPath()) + " " + arguments, folder);
}

DWORD Msiexec(const std::string& arguments) { return RunAndWait("msiexec " + arguments + " /qn", {}); }

// Windows Installer's own answer, asked of msi.dll the way any program asks it.
int ProductState(const std::string& productCode) {
  const LibraryModule msi(LoadLibraryA("msi.dll"));
  if (!msi) return -100;
  using QueryState = int(WINAPI*)(const char*);
  const auto query =
      reinterpret_cast<QueryState>(reinterpret_cast<void*>(GetProcAddress(msi.Get(), "MsiQueryProductStateA")));
  return query != nullptr ? query(productCode.c_str()) : -101;
}

std::string ProgramFiles() {
  char path[MAX_PATH] = {};
  GetEnvironmentVariableA("ProgramFiles", path, MAX_PATH);
  return path;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadValue(HKEY root, const std::string& key, const std::string& name) {
  UniqueHKey opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Put()) != ERROR_SUCCESS) return "<none>";
  char data[512] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LONG result = RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<none>";
}

bool HoldsSection(const std::string& text) {
  for (const RuleSection& section : kRuleSections) {
    if (text.find(std::string(section.header) + "\r\n") != std::string::npos) return true;
  }
  return false;
}

class CaptureRoundTrip : public ::testing::Test {
 protected:
  std::string Snapshot(const std::string& name, const std::string& options = {}) {
    const std::string path = scratch_ / name;
    EXPECT_EQ(RuleTool("snapshot " + Quoted(path) + options, scratch_.Path()), 0u) << name;
    return path;
  }
  std::string Capture(const std::string& before, const std::string& after, const std::string& name,
                      const std::string& options = {}) {
    const std::string path = scratch_ / name;
    EXPECT_EQ(RuleTool("capture " + Quoted(before) + " " + Quoted(after) + " -o " + Quoted(path) + options, scratch_.Path()), 0u);
    return ReadBytes(path);
  }

  ScratchFolder scratch_{"capture"};
};

TEST_F(CaptureRoundTrip, TwoSnapshotsWithNothingBetweenGiveNoRule) {
  const std::string first = Snapshot("first.snap");
  const std::string second = Snapshot("second.snap");
  const std::string rules = Capture(first, second, "rules.txt");
  EXPECT_FALSE(HoldsSection(rules)) << rules;
  EXPECT_EQ(RuleTool("encode " + Quoted(scratch_ / "rules.txt") + " -o " + Quoted(scratch_ / "Do_list.dat"), scratch_.Path()), 0u);
  EXPECT_TRUE(CheckRuleFile(ReadBytes(scratch_ / "Do_list.dat")).empty());
}

// An installation captured, its rules encoded and carried out by the cleaner: Windows
// Installer forgets the product and installs it afresh, while a package installed before
// the first snapshot stays known. The user's value the installation set aside (as an
// installer renaming a Run value it replaces does; here the test renames it) comes back.
TEST_F(CaptureRoundTrip, CapturedRulesMakeWindowsInstallerForgetTheProduct) {
  ASSERT_EQ(Msiexec("/i " + Quoted(PackagePath("bolt"))), 0u);
  const ScratchKey user("capture");
  user.SetString("", "Setting", "keep me");

  const std::string before = Snapshot("before.snap");
  user.SetString("", "Setting.saved", "keep me");
  {
    UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, user.Path().c_str(), 0, KEY_SET_VALUE, key.Put()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key.Get(), "Setting"), ERROR_SUCCESS);
  }
  ASSERT_EQ(Msiexec("/i " + Quoted(PackagePath("acme"))), 0u);
  ASSERT_EQ(ProductState(kAcmeProduct), kInstallStateDefault);
  const std::string after = Snapshot("after.snap");

  const std::string rules = Capture(before, after, "rules.txt");
  EXPECT_NE(rules.find("\r\n%PF%\\Acme Widget\r\n"), std::string::npos) << rules;
  EXPECT_NE(rules.find("HKEY_CURRENT_USER\\" + user.Path() + "\\Setting=Setting.saved\r\n"), std::string::npos) << rules;
  EXPECT_EQ(rules.find("Bolt"), std::string::npos) << rules;

  CleanerFolder cleaner;
  ASSERT_EQ(RuleTool("encode " + Quoted(scratch_ / "rules.txt") + " -o " + Quoted(cleaner / "Do_list.dat"), scratch_.Path()), 0u);
  EXPECT_TRUE(CheckRuleFile(ReadBytes(cleaner / "Do_list.dat")).empty());
  cleaner.WriteSettings(kUnattended);
  const CleanerExit run = cleaner.Run("/Q");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);

  EXPECT_EQ(ProductState(kAcmeProduct), kInstallStateUnknown);
  EXPECT_EQ(Msiexec(std::string("/x ") + kAcmeProduct), kUnknownProduct);
  EXPECT_FALSE(FolderExists(ProgramFiles() + "\\Acme Widget"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, "Software\\Acme\\Widget", "InstallPath"), "<none>");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user.Path(), "Setting"), "keep me");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, user.Path(), "Setting.saved"), "<none>");

  EXPECT_EQ(ProductState(kBoltProduct), kInstallStateDefault);
  EXPECT_TRUE(FolderExists(ProgramFiles() + "\\Bolt Gadget"));

  EXPECT_EQ(Msiexec("/i " + Quoted(PackagePath("acme"))), 0u);
  EXPECT_EQ(ProductState(kAcmeProduct), kInstallStateDefault);
  EXPECT_TRUE(FolderExists(ProgramFiles() + "\\Acme Widget"));

  EXPECT_EQ(Msiexec(std::string("/x ") + kBoltProduct), 0u);
  EXPECT_EQ(ProductState(kBoltProduct), kInstallStateUnknown);
  EXPECT_EQ(Msiexec(std::string("/x ") + kAcmeProduct), 0u);
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

// What a modern product leaves beside its program folder: data in ProgramData and, on 64-bit
// Windows, a driver in the real System32 (reached by a 32-bit program through Sysnative) and
// 64-bit parts in the 64-bit Program Files; meanwhile Windows' own MUI cache made a Local
// Settings key for the user. The capture names each place by its placeholder, leaves the MUI
// cache and the key made on its way out, and the cleaner removes what was captured.
TEST_F(CaptureRoundTrip, DataAnd64BitPlacesGoByTheirPlaceholdersAndWindowsOwnStays) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  char windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  char programFiles64[MAX_PATH] = {};
  GetEnvironmentVariableA("ProgramW6432", programFiles64, MAX_PATH);
  const std::string tag = "Velmora Capture " + std::to_string(GetCurrentProcessId());
  const std::string data = ShellFolder(CSIDL_COMMON_APPDATA) + "\\" + tag;
  const std::string driver = std::string(windows) + "\\Sysnative\\drivers\\zdncap" + std::to_string(GetCurrentProcessId()) + ".sys";
  const std::string parts64 = std::string(programFiles64) + "\\" + tag;
  const std::string muiKey = "Software\\Classes\\Local Settings\\MuiCache\\" + tag;

  const std::string before = Snapshot("before.snap");
  ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((data + "\\Bases").c_str(), nullptr));
  WriteBytes(data + "\\Bases\\main.db", "bases");
  if (wow64) {
    // A driver carries its maker's version resource: its evidence in the System folder.
    ASSERT_TRUE(CopyFileA(HelperPath("velmora_part.exe").c_str(), driver.c_str(), FALSE));
    ASSERT_TRUE(CreateDirectoryA(parts64.c_str(), nullptr));
    WriteBytes(parts64 + "\\zdn64.dll", "64-bit part");
  }
  {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, muiKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), "LangID", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
  }
  const std::string after = Snapshot("after.snap");
  const std::string rules = Capture(before, after, "rules.txt");
  RegDeleteTreeA(HKEY_CURRENT_USER, muiKey.c_str());

  EXPECT_NE(rules.find("\r\n%ProgData%\\" + tag + "\r\n"), std::string::npos) << rules;
  EXPECT_EQ(rules.find("Local Settings"), std::string::npos) << rules;
  if (wow64) {
    EXPECT_NE(rules.find("\r\n%winsys%\\drivers\\zdncap"), std::string::npos) << rules;
    EXPECT_NE(rules.find("\r\n%PF64%\\" + tag + "\r\n"), std::string::npos) << rules;
  }

  CleanerFolder cleaner;
  ASSERT_EQ(RuleTool("encode " + Quoted(scratch_ / "rules.txt") + " -o " + Quoted(cleaner / "Do_list.dat"), scratch_.Path()), 0u);
  EXPECT_TRUE(CheckRuleFile(ReadBytes(cleaner / "Do_list.dat")).empty());
  cleaner.WriteSettings(kUnattended);
  const CleanerExit run = cleaner.Run("/Q");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_FALSE(FolderExists(data));
  if (wow64) {
    EXPECT_EQ(GetFileAttributesA(driver.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FolderExists(parts64));
  }
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool KeyExists(HKEY root, const std::string& key) {
  UniqueHKey opened;
  return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Another program installed before the product, whose items the clean must leave alone: a
// program folder, a key, and the user's Run value the product's installer renames aside.
struct OtherProgram {
  explicit OtherProgram(const std::string& tag)
      : name("Other Tool " + tag), runValue("OtherTool" + tag), folder(ProgramFiles() + "\\" + name) {
    WriteBytes(folder + "\\other.exe", "other");
    SeedStringValue(HKEY_LOCAL_MACHINE, "Software\\" + name, "InstallPath", folder);
    SeedStringValue(HKEY_CURRENT_USER, kRunKey, runValue, "\"" + folder + "\\other.exe\"");
  }
  ~OtherProgram() {
    RemoveTreeForTest(folder);
    RemoveKeyForTest(HKEY_LOCAL_MACHINE, "Software\\" + name);
    for (const std::string& value : {runValue, runValue + ".off"}) {
      UniqueHKey run;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, run.Put()) == ERROR_SUCCESS) {
        RegDeleteValueA(run.Get(), value.c_str());
      }
    }
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  const std::string name;
  const std::string runValue;
  const std::string folder;
};

// An installer that is no Windows Installer package (a program that copies files into Program
// Files, Common Files, System32 and drivers, registers a driver service, writes keys, a Run
// value, an Uninstall entry and the user's AppData, and renames another program's Run value
// aside), snapshotted with every user, captured, encoded and cleaned with /ALLUSERS: a second
// user who ran the product has its AppData data removed too; a snapshot after the clean equals
// the one before the installation but for the remarks; the other program keeps everything,
// its Run value back under its own name. On a 64-bit prefix the driver lies in the real
// System32 and its service goes with it.
TEST_F(CaptureRoundTrip, APlainInstallerIsCapturedAndCleanedInEveryProfile) {
  const std::string tag = std::to_string(GetCurrentProcessId());
  const std::string product = "Velmora Plain " + tag;
  const OtherProgram other(tag);
  ProfileShape shape;
  shape.inProfilesFolder = true;
  const SecondProfile second("Software\\" + product + " User", shape);
  const std::string secondRoaming = second.Folder() + "\\AppData\\Roaming";
  MakeFolders(secondRoaming);  // there in every profile before any product

  const std::string before = Snapshot("before.snap", " --all-users");
  const std::string baseline = Snapshot("baseline.snap", " --all-users");
  const std::string installer = BuildFolder() + "\\plain_installer.exe";
  const std::string driver = "zdn" + tag;
  ASSERT_EQ(RunAndWait(Quoted(installer) + " " + Quoted(product) + " " + other.runValue + " " + driver, scratch_.Path()), 0u);
  // The second user ran the product too: its settings lie in that user's Roaming folder.
  WriteBytes(secondRoaming + "\\" + product + "\\settings.ini", "[View]\r\n");
  const std::string after = Snapshot("after.snap", " --all-users");

  const std::string noise = " --baseline " + Quoted(baseline);
  const std::string rules = Capture(before, after, "rules.txt", noise);
  for (const std::string& line : {"%UserRoaming%\\" + product, "%UserLocal%\\" + product, "%PF%\\" + product,
                                  "HKEY_CURRENT_USER\\" + std::string(kRunKey) + "\\" + other.runValue + "=" +
                                      other.runValue + ".off"}) {
    EXPECT_NE(rules.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << rules;
  }
  EXPECT_NE(rules.find("\r\n%winsys%\\drivers\\" + driver + ".sys\r\n"), std::string::npos) << rules;
  EXPECT_NE(rules.find("\r\nHKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + driver + "\r\n"), std::string::npos)
      << rules;
  EXPECT_EQ(rules.find(other.name), std::string::npos) << rules;

  CleanerFolder cleaner;
  ASSERT_EQ(RuleTool("encode " + Quoted(scratch_ / "rules.txt") + " -o " + Quoted(cleaner / "Do_list.dat"), scratch_.Path()), 0u);
  EXPECT_TRUE(CheckRuleFile(ReadBytes(cleaner / "Do_list.dat")).empty());
  cleaner.WriteSettings(kUnattended);
  const CleanerExit run = cleaner.Run("/Q /ALLUSERS \"/TL=" + (cleaner / "VC.LOG") + "\"");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u) << ReadBytes(cleaner / "VC.LOG");

  const std::string cleaned = Snapshot("cleaned.snap", " --all-users");
  const std::string left = Capture(before, cleaned, "left.txt", noise);
  EXPECT_FALSE(HoldsSection(left)) << left;

  EXPECT_FALSE(FolderExists(ProgramFiles() + "\\" + product));
  EXPECT_FALSE(FolderExists(secondRoaming + "\\" + product));
  EXPECT_TRUE(FolderExists(secondRoaming));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + driver));
  EXPECT_TRUE(FileExists(other.folder + "\\other.exe"));
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, "Software\\" + other.name, "InstallPath"), other.folder);
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kRunKey, other.runValue), "\"" + other.folder + "\\other.exe\"");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kRunKey, other.runValue + ".off"), "<none>");
}

}  // namespace
