#pragma once
// Loading and unloading other users' hives for a run (platform/user_hives.h says which).
#include <windows.h>

#include <string>
#include <vector>

#include "platform/files/file_identity.h"
#include "platform/registry/user_hives.h"

// True when the program runs as the LocalSystem account (S-1-5-18).
bool RunsAsLocalSystem();

// How hives are loaded and unloaded; tests answer refusals that Wine never gives (Windows
// refuses to unload a hive while any process holds a key of it open).
struct HiveServices {
  LONG (*load)(const std::wstring& name, const std::wstring& file) = nullptr;  // RegLoadKeyW below HKEY_USERS
  LONG (*unload)(const std::wstring& name) = nullptr;                            // RegUnLoadKeyW
  void (*pause)(DWORD milliseconds) = nullptr;
};
// The live services: the registry's own calls and a plain sleep.
HiveServices LiveHiveServices();

// Unloading is tried this often, this far apart, before it counts as failed: a hive stays
// loaded while any key of it is open, and a reader of it (an indexer, a virus scanner) may
// close its key a moment later.
inline constexpr int kUnloadTries = 5;
inline constexpr DWORD kUnloadRetryPause = 200;

// The hives of every real account's profile in ProfileList besides the current user's own.
// A signed-in user's hive is used where Windows loaded it (HKEY_USERS\<SID>, and
// <SID>_Classes); another is loaded from its profile's NTUSER.DAT or NTUSER.MAN, with its
// UsrClass.dat, under a temporary name (with the backup and restore privileges) until
// Unload or the destructor. Profile keys that are backup copies, profiles whose hive file is
// missing and a second key for a profile folder already taken are passed over (PassedOver);
// a hive that is there and does not load is a failure (NotLoaded).
class UserHives {
 public:
  explicit UserHives(const HiveServices& services = LiveHiveServices());
  ~UserHives();
  UserHives(const UserHives&) = delete;
  UserHives& operator=(const UserHives&) = delete;

  const std::vector<UserHive>& Hives() const { return hives_; }
  const std::vector<std::string>& NotLoaded() const { return notLoaded_; }
  const std::vector<std::string>& PassedOver() const { return passedOver_; }

  // Unloads every hive this object loaded, each tried kUnloadTries times; the answer names
  // each that stayed loaded ("SID (name): reason"). Nothing is left to the destructor.
  std::vector<std::string> Unload();

 private:
  void Take(const std::wstring& sid, const std::wstring& profileFolder);
  bool LoadInto(UserHive& hive);

  HiveServices services_;
  std::vector<UserHive> hives_;
  struct Loaded {
    std::string sid;
    std::string keyName;
  };
  std::vector<Loaded> loaded_;  // temporary names to unload, classes hives before their users'
  std::vector<std::string> notLoaded_;
  std::vector<std::string> passedOver_;
  std::vector<FileIdentity> identities_;  // profile folders taken, for a second key of one
  bool privileged_ = false;
};
