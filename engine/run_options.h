#pragma once
// What one cleaning run does, decided before it starts and not changed by anything the user
// does while it runs: built by start-up from the settings file for an unattended run, and by
// the main window from its controls when Start is pressed.
#include <string>

#include "engine/cleaner_state.h"

struct RunOptions {
  bool endProcesses = true;
  bool deleteFilesAndFolders = false;
  bool deleteShortcuts = false;
  // What %Program% and %Shared% stand for during the run: the folders the user confirmed.
  std::string programFolder;
  std::string sharedFolder;
  // The folders as start-up first showed them; edited folders are confirmed before deletion.
  std::string initialProgramFolder;
  std::string initialSharedFolder;
  // Where the run keeps a backup of every change (a plain full path); empty for none.
  std::string backupFolder;
};

// The options of a run that starts without a user: the settings file's switches (deletion as
// start-up granted it, shortcuts only together with deletion) and the folders start-up found.
RunOptions UnattendedRunOptions(const CleanerState& state);
