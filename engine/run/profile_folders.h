#pragma once
// Other users' shell folders, as a run reaching every user finds them: the hive's value when it
// names a folder inside that user's profile, else the folder's default place there.
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"

class RegistryAccessor;

// Where another user's hive names no application data folder, their default places in that
// user's profile (Vista and later, then Windows XP).
inline constexpr const char* kDefaultRoamingPlaces[] = {"\\AppData\\Roaming", "\\Application Data"};
inline constexpr const char* kDefaultLocalPlaces[] = {"\\AppData\\Local", "\\Local Settings\\Application Data"};
inline constexpr char kUserRoamingValue[] = "AppData";
inline constexpr char kUserLocalValue[] = "Local AppData";

// An information line for another user's shell folder that is no plain drive path inside that
// user's profile: followed by the folder, kOfUserText (shortcut_removal.h) and the user's SID.
inline constexpr char kForeignShellFolderText[] = "Refused a folder outside its user's profile: ";
// Another user's data folder whose name the ANSI code page cannot hold, so no rule line can
// name it: followed by the folder, kOfUserText and the user's SID.
inline constexpr char kUnnamedShellFolderText[] = "Not cleaned: a folder whose name has no place in the ANSI code page: ";

// One shell folder of another user: the Shell Folders value of that user's hive when it is a
// plain drive path of an existing folder inside the profile; where the hive has none, the
// first default place that exists. A value elsewhere (the System folder, a share) is listed
// with refusedText and never opened: a hive can be written by its user, and the run has the
// rights of an administrator. Empty when there is no folder to look in.
std::wstring OtherUsersShellFolder(CleanerContext& context, RegistryAccessor& registry, const UserHive& user,
                                   const char* value, std::initializer_list<const char*> defaultPlaces,
                                   const char* refusedText);

// Appends the Roaming and Local application data folders of every other user the run reaches
// (the run's loaded hives), in the hives' order.
void AddOtherUsersDataFolders(CleanerContext& context, std::vector<UserDataFolders>& folders);
