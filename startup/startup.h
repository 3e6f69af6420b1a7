#pragma once
// Start-up, run inside the main window's creation: command line, Windows folders,
// settings, rule file, folder discovery, then the window's choices and, in run mode 1, the run.
#include <string>

#include "engine/cleaner_context.h"

inline constexpr char kMissingRuleFileText[] = "File with rule does not Exist";
inline constexpr char kQuietRunText[] = "Quiet mode: unattended run";
inline constexpr char kTraceLogNotFullPath[] = "The trace log needs a full path: ";
inline constexpr char kTraceLogFolderMissing[] = "The folder of the trace log does not exist: ";
// Followed by the path, " - " and why it is not a plain drive path.
inline constexpr char kBackupNotPlain[] = "The backup folder needs a plain full path: ";
inline constexpr char kUndoNotPlain[] = "The backup to undo needs a plain full path: ";
// Why a folder of the command line is refused when the ANSI code page lacks one of its letters.
inline constexpr char kNotInAnsiCodePage[] = "a character of its name has no place in the ANSI code page";
// Followed by KEY=value, " - " and why the value is not a plain drive path.
inline constexpr char kSettingsFolderRefusedText[] = "Refused settings folder ";

// Start-up for this process: its command line and the folder of its executable.
void RunStartup(CleanerContext& context);
// Start-up with the command line (UTF-8) and executable path given; the settings file and the
// rule file are looked for in the executable's folder.
void RunStartupFor(CleanerContext& context, const std::string& commandLine,
                   const std::string& programPath);
// Every step of start-up but the last: the state filled and shown, no run started
// whatever the run mode (RuleTool plan dry-runs from here).
// False when start-up ended early on purpose (quiet, with no rule file): then nothing runs.
bool PrepareStartup(CleanerContext& context, const std::string& commandLine, const std::string& programPath);
