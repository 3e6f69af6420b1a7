#pragma once
// Other users' registry hives, for entries that must reach every user and not only the one
// running the program (a deployment tool runs it as LocalSystem, whose own profile holds none
// of the product's leftovers).
#include <string>
#include <string_view>
#include <vector>

// One user's hive as it lies below HKEY_USERS while the object that found it lives.
struct UserHive {
  std::string sid;      // "S-1-5-21-..." or "S-1-12-1-..."
  std::string keyName;  // below HKEY_USERS: the SID when the user's hive was loaded already,
                        // else the temporary name it was loaded under
  std::string profileFolder;  // as shown in the log: a name outside the ANSI code page is lost
  // Below HKEY_USERS: the user's classes hive (UsrClass.dat, "<keyName>_Classes"), where
  // Windows keeps that user's part of HKEY_CLASSES_ROOT; empty when there is none.
  std::string classesKeyName{};
  // The profile folder as the system names it (C:\Users\Łukasz): the hive files are found and
  // named through this one.
  std::wstring profileFolderWide{};
};

// What a ProfileList subkey stands for: a profile of a real account (a local or domain
// account, "S-1-5-21-...", or a cloud directory account, "S-1-12-1-..."), the copy Windows
// keeps when a profile failed to load ("<SID>.bak"), or something else (the system's own
// accounts, whose hives hold no user's leftovers).
enum class ProfileKeyKind { Account, BackupCopy, Other };
ProfileKeyKind KindOfProfileKey(std::string_view keyName);

// The name of a user's classes hive below HKEY_USERS, beside the user's own hive.
std::string ClassesHiveName(const std::string& keyName);

// The hive files of a profile, relative to its folder: the user's own (a mandatory profile
// has NTUSER.MAN instead of NTUSER.DAT) and the classes hive (Vista and later; before, below
// "Local Settings").
inline constexpr const char* kUserHiveFiles[] = {"\\NTUSER.DAT", "\\NTUSER.MAN"};
inline constexpr const char* kClassesHiveFiles[] = {"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                                    "\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"};
