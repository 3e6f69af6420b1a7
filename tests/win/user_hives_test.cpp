#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/run/cleaning_run.h"
#include "engine/run/registry_actions.h"
#include "engine/run/shortcut_removal.h"
#include "platform/handles.h"
#include "platform/registry/user_hives_win.h"
#include "platform/security/privileges.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/second_profile.h"
#include "tests/support/seeded_registry.h"

namespace {

using Strings = std::vector<std::string>;
const std::string kUserKey = "Software\\VelmoraHiveTest";
constexpr char kTemporaryPrefix[] = "VelmoraCleaner_";

bool Contains(const Strings& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> SidsOf(const std::vector<UserHive>& hives) {
  std::vector<std::string> sids;
  for (const UserHive& hive : hives) sids.push_back(hive.sid);
  return sids;
}

// Counts the unloads and refuses them; loads pass on to the registry.
int unloadCalls = 0;
LONG RefuseUnload(const std::wstring& name) {
  ++unloadCalls;
  (void)name;
  return ERROR_ACCESS_DENIED;
}
LONG RefuseLoad(const std::wstring&, const std::wstring&) { return ERROR_SHARING_VIOLATION; }
void NoPause(DWORD) {}

class EveryUser : public ::testing::Test {
 protected:
  void SetUp() override {
    run.state.OptAllUsers = true;
    run.StartTrace(folder / "VC.LOG");
  }
  ScratchFolder folder{"hives"};
  EngineTestContext run;
};

}  // namespace

// Real accounts' profiles are taken whatever their account kind (a cloud directory account's
// SID begins S-1-12-1-) and whatever their hive file (NTUSER.MAN: a mandatory profile); a
// profile without a hive file and the ".bak" key Windows leaves after a failed load are
// passed over with a trace line and no failure; a signed-in user's hive is used where it is.
// The user's classes hive (Windows' UsrClass.dat, which Wine lacks, is loaded here from a
// saved file) takes that user's HKEY_CLASSES_ROOT entries; every hive loaded is unloaded.
TEST_F(EveryUser, EveryRealAccountsHivesAreLoadedForTheRunAndUnloadedAfterIt) {
  SecondProfile cloud(kUserKey, {.sidPrefix = "S-1-12-1-1111-2222-3333-", .classesHive = true});
  SecondProfile mandatory(kUserKey, {.hiveFile = "NTUSER.MAN"});
  SecondProfile missing(kUserKey, {.hiveFile = ""});
  SecondProfile signedIn(kUserKey);
  signedIn.LogOn();
  cloud.AddBackupKey();
  const std::string cloudHive = kTemporaryPrefix + cloud.Sid();
  {
    OtherUsersForRun users(run.context);
    std::vector<std::string> sids = SidsOf(run.context.userHives);
    std::sort(sids.begin(), sids.end());
    Strings expected = {cloud.Sid(), mandatory.Sid(), signedIn.Sid()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sids, expected);
    for (const UserHive& hive : run.context.userHives) {
      const bool loadedByUs = hive.sid != signedIn.Sid();
      EXPECT_EQ(hive.keyName, loadedByUs ? kTemporaryPrefix + hive.sid : hive.sid);
      EXPECT_EQ(hive.classesKeyName, hive.sid == cloud.Sid() ? cloudHive + "_Classes" : "") << hive.sid;
    }
    ASSERT_TRUE(KeyExistsForTest(HKEY_USERS, cloudHive + "_Classes\\" + SecondProfile::kClassKey));
    // The class is the product's by its server, a file in the product's folder: a user's
    // classes hive is judged as the class it holds, like the machine's.
    run.context.state.ProgramFolder = folder / "Velmora";
    CreateDirectoryA(run.context.state.ProgramFolder.c_str(), nullptr);
    SeedStringValue(HKEY_USERS, cloudHive + "_Classes\\" + SecondProfile::kClassKey + "\\InprocServer32", "",
                    folder / "Velmora\\zdnext.dll");
    DeleteRegistryKeyEntry(run.context, std::string("HKEY_CLASSES_ROOT\\") + SecondProfile::kClassKey);
    DeleteRegistryKeyEntry(run.context, "HKEY_CURRENT_USER\\" + kUserKey + "\\Gone");
    EXPECT_FALSE(KeyExistsForTest(HKEY_USERS, cloudHive + "_Classes\\" + SecondProfile::kClassKey));
    for (const std::string& hive : {cloudHive, kTemporaryPrefix + mandatory.Sid(), signedIn.Sid()}) {
      EXPECT_FALSE(KeyExistsForTest(HKEY_USERS, hive + "\\" + kUserKey + "\\Gone")) << hive;
      EXPECT_TRUE(KeyExistsForTest(HKEY_USERS, hive + "\\" + kUserKey + "\\Stay")) << hive;
    }
    users.Finish();
    EXPECT_TRUE(run.context.userHives.empty());
  }
  for (const std::string& name : {cloudHive, cloudHive + "_Classes", kTemporaryPrefix + mandatory.Sid()}) {
    EXPECT_FALSE(KeyExistsForTest(HKEY_USERS, name)) << name << " stayed loaded";
  }
  EXPECT_TRUE(KeyExistsForTest(HKEY_USERS, signedIn.Sid())) << "a signed-in user's hive is never unloaded";
  EXPECT_EQ(run.reporter.infoLines, Strings{});
  EXPECT_EQ(run.context.outcome.ExitCode(), 0);
  const Strings trace = run.TraceMessages();
  EXPECT_TRUE(Contains(trace, kProfilePassedOverText + missing.Sid() + ": no NTUSER.DAT or NTUSER.MAN in " +
                                  missing.Folder()));
  EXPECT_TRUE(Contains(trace, kProfilePassedOverText + cloud.Sid() + ".bak: a copy Windows keeps of a profile key"));
}

namespace {
std::wstring loadedFile;
LONG RecordLoad(const std::wstring&, const std::wstring& file) {
  loadedFile = file;
  return ERROR_SUCCESS;
}
LONG AcceptUnload(const std::wstring&) { return ERROR_SUCCESS; }
}  // namespace

// Windows: a profile folder whose name the ANSI code page cannot hold (C:\Users\Łukasz under
// Windows-1252), with a hive file saved from an empty key and the product's Startup shortcut
// in the profile's default Startup place; its ProfileList key is removed when it goes.
class WideNamedProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string seed = "Software\\CleanerTests\\WideHive_" + std::to_string(GetCurrentProcessId());
    TemporaryKey seedKey(HKEY_CURRENT_USER, seed);
    SeedKey(HKEY_CURRENT_USER, seed);
    UniqueHKey opened;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, seed.c_str(), 0, KEY_READ, opened.Put()), ERROR_SUCCESS);
    (void)EnablePrivilege(kBackupPrivilege);
    ASSERT_EQ(RegSaveKeyW(opened.Get(), (folder + L"\\NTUSER.DAT").c_str(), nullptr), ERROR_SUCCESS);
    std::wstring startup = folder;
    for (const wchar_t* level : {L"\\AppData", L"\\Roaming", L"\\Microsoft", L"\\Windows", L"\\Start Menu",
                                 L"\\Programs", L"\\Startup"}) {
      startup += level;
      ASSERT_TRUE(CreateDirectoryW(startup.c_str(), nullptr));
    }
    link = startup + L"\\" + WideFromAnsi(kStartupLinkNames[0], kStartupLinkNamesCodePage);
    beside = startup + L"\\ZDN Keep.lnk";
    for (const std::wstring& file : {link, beside}) {
      ASSERT_TRUE(UniqueFile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                         nullptr)));
    }
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, profile.Put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(profile.Get(), L"ProfileImagePath", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(folder.c_str()),
                             static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (!profile) return;
    profile.Reset();
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str()), ERROR_SUCCESS);
  }
  ScratchFolder scratch{"wideprofile"};
  const std::wstring folder = WideFromAnsi(scratch.Path()) + L"\\\x0141ukasz";
  const std::wstring sid = L"S-1-5-21-7-7-7-1001";
  const std::wstring key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
  UniqueHKey profile;
  std::wstring link;
  std::wstring beside;
};

// Kept wide, its hive is found and loaded from the folder the system names; kept as ANSI it
// read "C:\Users\?ukasz" and the user was passed over with exit code 0.
TEST_F(WideNamedProfile, ItsHiveIsFoundAndLoadedFromTheFolderTheSystemNames) {
  loadedFile.clear();
  UserHives users({RecordLoad, AcceptUnload, NoPause});
  EXPECT_EQ(loadedFile, folder + L"\\NTUSER.DAT");
  const auto& hives = users.Hives();
  const auto found = std::find_if(hives.begin(), hives.end(),
                                  [&](const UserHive& each) { return each.sid == AnsiFromWide(sid); });
  ASSERT_NE(found, hives.end()) << testing::PrintToString(users.PassedOver());
  EXPECT_EQ(found->profileFolderWide, folder);
  (void)users.Unload();
}

// The shortcut step looks in that user's Startup folder by the same wide name: by the ANSI
// one it looked in "?ukasz", found nothing and left the product's shortcut with exit code 0.
TEST_F(WideNamedProfile, ItsStartupShortcutGoesAndTheOneBesideItStays) {
  EngineTestContext each;
  each.state.OptAllUsers = true;
  {
    OtherUsersForRun users(each.context);
    ASSERT_TRUE(Contains(SidsOf(each.context.userHives), AnsiFromWide(sid)));
    RemoveShortcuts(each.context);
    users.Finish();
  }
  EXPECT_EQ(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(beside.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(each.reporter.infoLines, Strings{});
  EXPECT_EQ(each.context.outcome.ExitCode(), 0);
}

// What Wine never refuses: Windows refuses to unload a hive while any process holds a key of
// it open (an indexer, a virus scanner, a program the user left running), and to load a hive
// file another program holds open. Each is a line and exit code 1; the unload is tried again
// before it counts as failed.
TEST_F(EveryUser, AHiveThatWillNotLoadOrUnloadIsALineAndCounts) {
  SecondProfile other(kUserKey);
  const struct {
    const char* standsFor;
    HiveServices services;
    std::string line;
    int unloads;
  } cases[] = {
      {"a hive another process holds a key of open when the run ends",
       {LiveHiveServices().load, RefuseUnload, NoPause},
       kHiveNotUnloadedText + other.Sid() + " (HKEY_USERS\\" + kTemporaryPrefix + other.Sid() +
           "): " + SystemErrorText(ERROR_ACCESS_DENIED),
       kUnloadTries},
      {"a hive file another program holds open",
       {RefuseLoad, RefuseUnload, NoPause},
       kHiveNotLoadedText + other.Sid() + " (" + other.Folder() + "\\NTUSER.DAT): " +
           SystemErrorText(ERROR_SHARING_VIOLATION),
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standsFor);
    EngineTestContext each;
    each.state.OptAllUsers = true;
    unloadCalls = 0;
    {
      OtherUsersForRun users(each.context, c.services);
      users.Finish();
    }
    EXPECT_EQ(unloadCalls, c.unloads);
    EXPECT_TRUE(Contains(each.reporter.infoLines, c.line)) << (each.reporter.infoLines.empty() ? "" : each.reporter.infoLines[0]);
    EXPECT_EQ(each.context.outcome.ExitCode(), 1);
    RegUnLoadKeyA(HKEY_USERS, (kTemporaryPrefix + other.Sid()).c_str());
  }
}

// Another user's Startup folder is where the hive says only when that is a plain drive path
// inside the user's own profile; where the hive says nothing, it is the folder's default
// place there. Anything else is a line, and nothing there is touched: the run is an
// administrator's, the hive its user's to write.
TEST_F(EveryUser, AnotherUsersStartupShortcutGoesOnlyFromInsideThatUsersProfile) {
  ScratchFolder outside{"system32"};
  const struct {
    const char* standsFor;
    std::optional<std::string> value;
    bool removed;
    bool listed;
  } cases[] = {
      {"the value names the profile's own Startup folder", std::nullopt, true, false},
      {"the hive has no value: the default place in the profile", "", true, false},
      {"the value names a folder outside the profile, such as C:\\windows\\system32", outside / "Startup", false, true},
      {"the value names a share", "\\\\host\\share\\Startup", false, true},
      {"the value is no plain drive path (relative: it would name a folder of the current one)", "Startup", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standsFor);
    EngineTestContext each;
    each.state.OptAllUsers = true;
    SecondProfile other(kUserKey, {.startupValue = c.value});
    {
      OtherUsersForRun users(each.context);
      RemoveShortcuts(each.context);
      users.Finish();
    }
    const Strings present = other.Present();
    const bool linkThere = Contains(present, "link");
    if (c.value && !c.value->empty() && (*c.value)[1] != ':') {
      EXPECT_FALSE(linkThere);  // nothing was put there, and nothing was looked at
    } else {
      EXPECT_EQ(linkThere, !c.removed);
      EXPECT_TRUE(Contains(present, "link beside"));
    }
    const std::string line = kForeignStartupText + c.value.value_or("") + kOfUserText + other.Sid();
    EXPECT_EQ(Contains(each.reporter.infoLines, line), c.listed);
    EXPECT_EQ(each.context.outcome.ExitCode(), c.listed ? 1 : 0);
  }
}
