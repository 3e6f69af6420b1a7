#pragma once
// Other users' registry hives, for entries that must reach every user and not only the one
// running the program (a deployment tool runs it as LocalSystem, whose own profile holds none
// of the product's leftovers).
#include <string>
#include <vector>

// One user's hive as it lies below HKEY_USERS while the object that found it lives.
struct UserHive {
  std::string sid;      // "S-1-5-21-..."
  std::string keyName;  // below HKEY_USERS: the SID when the user's hive was loaded already,
                        // else the temporary name it was loaded under
  std::string profileFolder;
};

// True when the program runs as the LocalSystem account (S-1-5-18).
bool RunsAsLocalSystem();

// The hives of every user profile in ProfileList whose SID begins "S-1-5-21-", besides the
// current user's own. A hive not loaded is loaded from the profile's NTUSER.DAT under a
// temporary name (with the backup and restore privileges) and unloaded by the destructor, so
// also when an error ends the run. A profile whose hive cannot be loaded is left out, with
// the reason in `notLoaded`.
class UserHives {
 public:
  UserHives();
  ~UserHives();
  UserHives(const UserHives&) = delete;
  UserHives& operator=(const UserHives&) = delete;

  const std::vector<UserHive>& Hives() const { return hives_; }
  const std::vector<std::string>& NotLoaded() const { return notLoaded_; }

 private:
  std::vector<UserHive> hives_;
  std::vector<std::string> loaded_;  // temporary names to unload
  std::vector<std::string> notLoaded_;
};
