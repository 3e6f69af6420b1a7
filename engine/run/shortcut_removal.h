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

void RemoveShortcuts(CleanerContext& context);
