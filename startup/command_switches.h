#pragma once
// The switches of the command line. Each argument is compared after upper-casing, so any
// letter case works; an argument that is not a switch is ignored.
#include <string>
#include <vector>

enum class SwitchKind { None, Trace, Quiet, AllUsers, Restart, Backup, Undo };

struct CommandSwitch {
  SwitchKind kind = SwitchKind::None;
  std::string value;  // the text after "=", as written: the trace log's path for "/TL=PATH"
};

// "/TL" (the trace log "VC.LOG" in the current folder), "/TL=PATH" (the trace log at PATH),
// "/Q" (quiet: no window and no box is shown or waited on), "/ALLUSERS" (every user's
// profile as well as the current user's), "/R" (what is in use is deleted at the next restart),
// "/BACKUP=DIR" (a backup of every change in DIR), "/UNDO=DIR\<run>" (put back what that run
// changed).
CommandSwitch ParseSwitch(const std::string& argument);

// True when one of the arguments is "/Q".
bool QuietRequested(const std::vector<std::string>& arguments);
