#pragma once
// At the end of a run: the product's Start Menu folder and its shortcuts in the user's and
// the common Startup folders.
#include "engine/cleaner_context.h"

inline constexpr char kUserShellFoldersKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kUserStartupValue[] = "Startup";
inline constexpr char kCommonShellFoldersKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Folders";
inline constexpr char kCommonStartupValue[] = "Common Startup";

// The shortcut names are Windows-1251 text, whatever the system's ANSI code page.
inline constexpr unsigned kStartupLinkNamesCodePage = 1251;

// Where another user's hive names no Startup folder, its default places in that user's
// profile (Vista and later, then Windows XP).
inline constexpr const char* kDefaultStartupPlaces[] = {
    "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "\\Start Menu\\Programs\\Startup"};
// An information line for another user's Startup folder that is no plain drive path inside
// that user's profile: followed by the folder, kOfUserText and the user's SID.
inline constexpr char kForeignStartupText[] = "Refused a Startup folder outside its user's profile: ";
inline constexpr char kOfUserText[] = " - user ";

// The Start Menu folder; the shortcuts in the user's and the common Startup folder and, for
// a run that reaches every user, in each other user's Startup folder.
void RemoveShortcuts(CleanerContext& context);
