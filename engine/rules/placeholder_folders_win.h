#pragma once
// The folders of this machine that the later placeholders stand for.
#include "engine/cleaner_state.h"

// Sets ProgramDataFolder (the common application data folder), the current user's Roaming and
// Local application data folders as the first of UserFolders, and, under WOW64 only, the
// 64-bit ProgramFiles64Folder and CommonFiles64Folder; a folder that cannot be read stays
// empty, and a line naming it is refused as the run refuses any unset placeholder.
void ReadPlaceholderFolders(CleanerState& state);
