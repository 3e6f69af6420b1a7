#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run/registry_places.h"

// Class entries act in both copies Windows merges; on a 64-bit Windows every copy is
// visited in the 32-bit view first and then in the 64-bit view, named as such.
TEST(RegistryPlaces, EachEntryActsInEveryCopyOfItsKey) {
  using Names = std::vector<std::string>;
  const struct {
    RegistryRoot root;
    const char* keyPath;
    bool bothViews;
    Names names;
  } cases[] = {
      {RegistryRoot::CurrentUser, "\\Software\\QRV", false, {"HKEY_CURRENT_USER\\Software\\QRV"}},
      {RegistryRoot::LocalMachine, "SOFTWARE\\QRV", true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV", "(64-bit view) HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV"}},
      {RegistryRoot::ClassesRoot, "\\CLSID\\{1}", true,
       {"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}",
        "(64-bit view) HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}"}},
      {RegistryRoot::ClassesRoot, "", false, {"HKEY_LOCAL_MACHINE\\Software\\Classes", "HKEY_CURRENT_USER\\Software\\Classes"}},
  };
  for (const auto& c : cases) {
    Names names;
    for (const RegistryPlace& place : PlacesOf(c.root, c.keyPath, c.bothViews)) names.push_back(PlaceKeyName(place));
    EXPECT_EQ(names, c.names) << c.keyPath;
  }
  // No key can have a name beyond 255 characters: nothing to act on, nothing copied.
  EXPECT_EQ(PlacesOf(RegistryRoot::CurrentUser, "Software\\" + std::string(255, 'Q'), false).size(), 1u);
  EXPECT_TRUE(PlacesOf(RegistryRoot::CurrentUser, "Software\\" + std::string(256, 'Q'), true).empty());
}

// Other users: a signed-in one's hive is named by the SID, a loaded one by its temporary
// name; a class entry reaches the user's Software\Classes and, where the user has one, the
// classes hive Windows keeps apart (UsrClass.dat, "<name>_Classes"). Machine entries stay once.
TEST(RegistryPlaces, OtherUsersGetTheirKeysAndTheirClassesHive) {
  using Names = std::vector<std::string>;
  const std::vector<UserHive> users = {
      {"S-1-12-1-7", "S-1-12-1-7", "C:\\Users\\cloud", "S-1-12-1-7_Classes"},
      {"S-1-5-21-9", "VelmoraCleaner_S-1-5-21-9", "C:\\Users\\old", ""},
  };
  const struct {
    RegistryRoot root;
    const char* keyPath;
    Names names;
  } cases[] = {
      {RegistryRoot::CurrentUser, "Software\\QRV",
       {"HKEY_CURRENT_USER\\Software\\QRV", "HKEY_USERS\\S-1-12-1-7\\Software\\QRV",
        "HKEY_USERS\\VelmoraCleaner_S-1-5-21-9\\Software\\QRV"}},
      {RegistryRoot::ClassesRoot, "\\CLSID\\{1}",
       {"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{1}", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}",
        "HKEY_USERS\\S-1-12-1-7\\Software\\Classes\\CLSID\\{1}", "HKEY_USERS\\S-1-12-1-7_Classes\\CLSID\\{1}",
        "HKEY_USERS\\VelmoraCleaner_S-1-5-21-9\\Software\\Classes\\CLSID\\{1}"}},
      {RegistryRoot::LocalMachine, "Software\\QRV", {"HKEY_LOCAL_MACHINE\\Software\\QRV"}},
  };
  for (const auto& c : cases) {
    Names names;
    for (const RegistryPlace& place : PlacesOf(c.root, c.keyPath, false, users)) {
      names.push_back(PlaceKeyName(place));
      // The guards judge every class place as the class it is, the classes hive's too: there
      // it would otherwise read as HKEY_CURRENT_USER\CLSID\{1}, outside Windows' namespaces.
      if (c.root == RegistryRoot::ClassesRoot) {
        EXPECT_EQ(place.keyPath, "Software\\Classes\\CLSID\\{1}") << place.hive;
      }
    }
    EXPECT_EQ(names, c.names) << c.keyPath;
  }
}

// Which ProfileList keys are real accounts' profiles: local and domain accounts and cloud
// directory accounts; the copy Windows keeps after a failed load is not one; the system's
// own accounts (LocalSystem, LocalService, NetworkService) hold no user's leftovers.
TEST(ProfileListKeys, RealAccountsAreTakenAndBackupCopiesAndSystemAccountsAreNot) {
  const struct {
    const char* key;
    ProfileKeyKind kind;
  } cases[] = {
      {"S-1-5-21-1004336348-1177238915-682003330-1001", ProfileKeyKind::Account},
      {"S-1-12-1-3390863742-1162446541-2611823782-2553457023", ProfileKeyKind::Account},
      {"S-1-5-21-1004336348-1177238915-682003330-1001.bak", ProfileKeyKind::BackupCopy},
      {"S-1-12-1-3390863742-1162446541-2611823782-2553457023.BAK", ProfileKeyKind::BackupCopy},
      {"S-1-5-18", ProfileKeyKind::Other},
      {"S-1-5-19", ProfileKeyKind::Other},
      {"S-1-5-20", ProfileKeyKind::Other},
      {"S-1-12-2-1", ProfileKeyKind::Other},
      {"s-1-5-21-1", ProfileKeyKind::Other},
      {"", ProfileKeyKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(KindOfProfileKey(c.key), c.kind) << c.key;
  EXPECT_EQ(ClassesHiveName("S-1-12-1-7"), "S-1-12-1-7_Classes");
}
