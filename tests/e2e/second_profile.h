#pragma once
// A second user profile, as another person's account on the machine: a ProfileList entry, a
// profile folder with a Startup shortcut beside a canary, and an NTUSER.DAT hive (saved from
// a seeded key) holding the product's user keys beside keys to keep. Not loaded unless the
// user is logged on; everything is removed when the object goes.
#include <string>
#include <vector>

#include "tests/support/wine_test_support.h"

class SecondProfile {
 public:
  // userKey: the path below the user's root where the rules name the product's keys.
  explicit SecondProfile(const std::string& userKey);
  ~SecondProfile();
  SecondProfile(const SecondProfile&) = delete;
  SecondProfile& operator=(const SecondProfile&) = delete;

  const std::string& Sid() const { return sid_; }
  // Loads the hive below HKEY_USERS under the SID, as Windows does while the user is logged on.
  void LogOn();
  // What the profile holds now, from its loaded hive or else its hive file: "Gone", "Stay",
  // "Target", "Keep", "OldName", "NewName", "link", "link beside", in that order, those present.
  std::vector<std::string> Present() const;

 private:
  std::string sid_;
  bool loggedOn_ = false;
  std::string userKey_;
  ScratchFolder folder_{"profile"};
};
