#pragma once
// The switches of the command line. Each argument is compared after upper-casing, so any
// letter case works. Every argument must be a known switch or property: anything else makes
// the whole command line invalid, so that a typo never starts a run that was not asked for.
#include <optional>
#include <string>
#include <vector>

enum class SwitchKind {
  None, Trace, TraceUtf8, Utf8, Quiet, AllUsers, Restart, Backup, Undo, Help, Version, Detect, Report,
  Delete, DelLink, NoKill, OverNewer
};

struct CommandSwitch {
  SwitchKind kind = SwitchKind::None;
  std::string value;  // the text after "=", as written: the trace log's path for "/TL=PATH"
  bool hasValue = false;  // "=" was written, even with nothing after it
};

// "/TL" (the trace log "VC.LOG" in the current folder), "/TL=PATH" (the trace log at PATH),
// "/TLUTF8" and "/TLUTF8=PATH" (the same, written in UTF-8), "/UTF8" (the trace log in UTF-8),
// "/Q" (quiet: no window and no box is shown or waited on), "/ALLUSERS" (every user's
// profile as well as the current user's), "/R" (what is in use is deleted at the next restart),
// "/BACKUP=DIR" (a backup of every change in DIR), "/UNDO=DIR\<run>" (put back what that run
// changed), "/?" and "/HELP" (the usage), "/VERSION", "/DETECT" (is anything of the product
// left), "/REPORT=PATH" (a JSON document of the run), "/DELETE", "/DELLINK", "/NOKILL" (the
// options of the settings file for this run), "/OVERNEWER" (undo even over a newer
// installation). None for anything else, and for a known switch
// written with a value it does not take.
CommandSwitch ParseSwitch(const std::string& argument);

// Everything the command line asks for, or why it is not valid.
struct CommandLineChoices {
  bool traceOn = false;
  std::string tracePath;  // empty: "VC.LOG" in the current folder
  bool traceUtf8 = false;
  bool quiet = false;
  bool allUsers = false;
  bool restart = false;
  std::string backupFolder;
  std::string undoFolder;
  bool overNewer = false;  // only with undoFolder
  bool help = false;
  bool version = false;
  bool detect = false;
  std::string reportPath;
  // The options of the settings file's [Options] section, set for this run over the file.
  std::optional<bool> optDelete, optDelLink, optKillProcess, optAllUsers, optDeleteAtRestart;
  // Empty when the command line is valid; else what is wrong, naming the argument.
  std::string problem;
};

// Reads every argument (the program's name not among them); the order does not matter.
CommandLineChoices ParseCommandLine(const std::vector<std::string>& arguments);

// True when one of the arguments is "/Q".
bool QuietRequested(const std::vector<std::string>& arguments);
// The path of "/REPORT=PATH" read from the arguments even when the command line is not valid;
// empty when none is given or two differ.
std::string ReportPathRequested(const std::vector<std::string>& arguments);

// The usage text shown for "/?", "/HELP" and an invalid command line, lines ended by "\r\n".
std::string UsageText();

// The exit codes installers and deployment tools know: the command line is invalid (1639),
// another installation is under way (1618), the log file could not be opened (1622).
inline constexpr int kInvalidCommandLineExitCode = 1639;
inline constexpr int kAnotherInstanceExitCode = 1618;
inline constexpr int kTraceLogNotOpenedExitCode = 1622;
