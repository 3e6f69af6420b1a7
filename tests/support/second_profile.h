#pragma once
// A second user profile, as another person's account on the machine: a ProfileList entry, a
// profile folder with a Startup shortcut beside a canary, and a hive file (saved from a
// seeded key) holding the product's user keys beside keys to keep. Not loaded unless the
// user is logged on; everything is removed when the object goes.
#include <optional>
#include <string>
#include <vector>

#include "tests/support/wine_test_support.h"

// How the profile is laid out; the default is an ordinary local account's.
struct ProfileShape {
  std::string sidPrefix = "S-1-5-21-1001-2002-3003-";  // "S-1-12-1-..." for a cloud account
  std::string hiveFile = "NTUSER.DAT";                 // NTUSER.MAN: mandatory; "": none
  // A classes hive (AppData\Local\Microsoft\Windows\UsrClass.dat) holding classKey's tree.
  bool classesHive = false;
  // The hive's Startup value: the profile's own "Startup" folder when not given; "" for no
  // value (the shortcut then lies in the default place).
  std::optional<std::string> startupValue{};
  // The profile folder right in the profiles folder (C:\users), as Windows makes it, instead
  // of in the temporary folder.
  bool inProfilesFolder = false;
};

class SecondProfile {
 public:
  // userKey: the path below the user's root where the rules name the product's keys.
  explicit SecondProfile(const std::string& userKey, const ProfileShape& shape = {});
  ~SecondProfile();
  SecondProfile(const SecondProfile&) = delete;
  SecondProfile& operator=(const SecondProfile&) = delete;

  const std::string& Sid() const { return sid_; }
  const std::string& Folder() const { return folder_.Path(); }
  // The folder the Startup shortcut lies in.
  const std::string& StartupFolder() const { return startup_; }
  // The key the classes hive holds (below its root), when it has one.
  static constexpr char kClassKey[] = "CLSID\\{VelmoraCleanerTestClass}";
  // Adds a ProfileList key "<SID>.bak" for the same folder, as Windows leaves after a failed load.
  void AddBackupKey();
  // Loads the hive below HKEY_USERS under the SID, as Windows does while the user is logged on.
  void LogOn();
  // What the profile holds now, from its loaded hive or else its hive file: "Gone", "Stay",
  // "Target", "Keep", "OldName", "NewName", "link", "link beside", in that order, those present.
  std::vector<std::string> Present() const;

 private:
  std::string sid_;
  bool loggedOn_ = false;
  bool backupKey_ = false;
  std::string userKey_;
  ProfileShape shape_;
  ScratchFolder folder_;
  std::string startup_;
};
