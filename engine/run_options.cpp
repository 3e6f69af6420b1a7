#include "engine/run_options.h"

RunOptions UnattendedRunOptions(const CleanerState& state) {
  RunOptions options;
  options.endProcesses = state.OptKillProcess;
  options.deleteFilesAndFolders = state.DeletePermission;
  options.deleteShortcuts = state.DeletePermission && state.OptDelLink;
  options.programFolder = state.ProgramFolder;
  options.sharedFolder = state.SharedFolder;
  options.initialProgramFolder = state.InitialProgramFolder;
  options.initialSharedFolder = state.InitialSharedFolder;
  options.backupFolder = state.BackupFolder;
  return options;
}
