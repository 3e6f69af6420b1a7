#pragma once
// Everything that more than one routine of the cleaner needs: folders, switches, counters.
#include <array>
#include <string>
#include <vector>

// One profile's application data folders, Roaming and Local: what %UserRoaming% and
// %UserLocal% stand for in that profile. Empty where the profile has no such folder.
struct UserDataFolders {
  std::string roaming;
  std::string local;
  std::string owner;  // the profile's user as the log names it: a SID, or "" for the current user
};

struct CleanerState {
  std::string RuleFilePath = "Do_list.dat";
  int RuleCount = 0;
  int Progress = 0;
  std::string ProgramFolder;
  std::string SharedFolder;
  std::string ProgramFilesFolder;
  std::string WindowsFolder;
  std::string SystemFolder;
  std::string StartMenuFolder;
  // Programs' common data (ProgramData), and the 64-bit Program Files and Common Files, empty
  // where Windows has none (a 32-bit Windows): what %ProgData%, %PF64% and %CF64% stand for.
  std::string ProgramDataFolder;
  std::string ProgramFiles64Folder;
  std::string CommonFiles64Folder;
  // Every profile a run covers, the current user's first: a line with a per-user placeholder
  // is one target per profile. Start-up sets the current user's; a run reaching every user
  // adds the others' while their hives are loaded.
  std::vector<UserDataFolders> UserFolders;
  std::string InitialProgramFolder;
  std::string InitialSharedFolder;
  bool DeletePermission = false;
  bool TraceLogOn = false;
  // The switch /Q: no window and no box is shown or waited on; what a box would say goes to
  // the trace log and the exit code.
  bool QuietMode = false;
  int RunMode = 0;
  // DELETE_AT_RESTART=1 or the switch /R: a file in use, and a folder that stays only for
  // such files, is deleted by the system at the next restart.
  bool DeleteAtRestart = false;
  bool OptDelete = false;
  bool OptDelLink = false;
  bool OptKillProcess = true;
  // The switch /ALLUSERS or ALL_USERS=1: HKEY_CURRENT_USER entries and the Startup shortcut
  // act for every user profile as well.
  bool OptAllUsers = false;
  // BACKUP=DIR in the settings file or the switch /BACKUP=DIR: every change of a run is kept in
  // DIR\<yyyy-mm-dd_hh-mm-ss> first, so that /UNDO can put it back. Empty: no backup.
  std::string BackupFolder;
  // The switch /UNDO=DIR\<run>: this start puts back what that run changed, and cleans nothing.
  std::string UndoFolder;
  // The switch /OVERNEWER: undo puts back what the run removed even where a newer installation
  // of the product stands now.
  bool UndoOverNewer = false;
  std::string FolderBackup;  // BACKUP= as the settings file gives it
  std::string FolderProgram;
  std::string FolderShared;
  std::string FolderStart;
};

inline constexpr char kRuleFileName[] = "Do_list.dat";
inline constexpr char kSettingsFileName[] = "QRV_RC.INI";
inline constexpr char kTraceLogFileName[] = "VC.LOG";

// Shortcut file names removed from the Startup folders, as Windows-1251 text:
// "ZDN Монитор.lnk". Empty entries are skipped wherever the table is walked.
inline const std::array<std::string, 3> kStartupLinkNames = {
    std::string("ZDN \xCC\xEE\xED\xE8\xF2\xEE\xF0.lnk"), std::string(), std::string()};
