#pragma once
// The program's own folder: it reads its settings and its rules there, and Windows loads
// libraries from there first, so only the system's administrators (and the account running the
// program) may change it. Checked before anything in it is read.
#include <string>

class FolderSecurity;

// Followed by the folder or file and why.
inline constexpr char kOwnFolderRefusedText[] = "The cleaner's folder is not safe: ";
// Followed by the folder: a volume such as a FAT stick keeps no access lists.
inline constexpr char kOwnFolderNoAccessListsText[] =
    "The cleaner's folder keeps no access lists (every account may change it); its files are used as they are: ";

struct OwnFolderVerdict {
  std::string problem;  // empty: the program may read its folder
  std::string note;     // a line for the trace log, or empty
};

// Judges the folder of the program at programPath, every level above it and the files the
// program reads there (itself, the rule file, the settings file): refused when an account other
// than Administrators, SYSTEM, TrustedInstaller or the one running the program owns one of them,
// may add files or folders to the folder, may write or replace one of its files, or may
// delete, rename, re-own or re-permission a level above.
OwnFolderVerdict JudgeOwnFolder(FolderSecurity& security, const std::string& programPath);
