#include "startup/startup.h"

#include <windows.h>

#include <optional>

#include "backup/undo.h"
#include "engine/guards/folder_guard.h"
#include "engine/rules/placeholder_folders_win.h"
#include "engine/rules/rule_file.h"
#include "engine/run/cleaning_run.h"
#include "engine/run_observer.h"
#include "engine/trace.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/line_file.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"
#include "startup/command_switches.h"
#include "startup/folder_discovery.h"
#include "startup/settings_file.h"
#include "startup/settings_parser.h"

namespace {

// A chosen trace log must name one place whatever the current folder (a program started by
// a deployment tool runs in System32, or SysWOW64 for this 32-bit program), in a folder that
// exists.
// The path is the command line's, in UTF-8.
void CheckTraceLogPath(const std::string& path) {
  if (!IsFullPath(WideFromUtf8(path))) throw Exception(kTraceLogNotFullPath + AnsiFromUtf8(path));
  const std::string folder = FolderOfPath(path);
  if (!IsExistingFolderWide(WideFromUtf8(folder))) throw Exception(kTraceLogFolderMissing + AnsiFromUtf8(folder));
}

// The backup's folder and the run to undo are named as plain drive paths, like every folder
// the program changes things in.
std::string CheckedFullPath(const char* refusal, const std::string& path) {
  const std::string problem = PlainPathProblem(WideFromAnsi(path));
  if (!problem.empty()) throw Exception(refusal + path + " - " + problem);
  return path;
}

// A folder of the command line (UTF-8) in the ANSI code page the run holds its folders in: one
// it cannot hold is refused, since a "?" or a look-alike would name another folder.
std::string CommandLineFolder(const char* refusal, const std::string& path) {
  const std::optional<std::string> ansi = ExactAnsiFromWide(WideFromUtf8(path));
  if (!ansi) throw Exception(refusal + AnsiFromUtf8(path) + " - " + kNotInAnsiCodePage);
  return CheckedFullPath(refusal, *ansi);
}

void ScanCommandLine(CleanerContext& context, const std::string& commandLine) {
  const CommandLineChoices choices = ParseCommandLine(CommandLineArguments(commandLine));
  if (!choices.problem.empty()) throw Exception(AnsiFromUtf8(choices.problem));
  CleanerState& state = context.state;
  if (choices.quiet) state.QuietMode = true;
  if (choices.allUsers) state.OptAllUsers = true;
  if (choices.restart) state.DeleteAtRestart = true;
  // The log opens before any other value is judged, wherever the switches stand: a bad
  // folder then has its line in the log.
  if (choices.traceOn) {
    if (!choices.tracePath.empty()) CheckTraceLogPath(choices.tracePath);
    state.TraceLogOn = true;
    context.trace.Open(choices.tracePath.empty() ? std::string(kTraceLogFileName) : choices.tracePath);
    TraceIfOn(context, "Log file created");
  }
  if (!choices.backupFolder.empty()) state.BackupFolder = CommandLineFolder(kBackupNotPlain, choices.backupFolder);
  if (!choices.undoFolder.empty()) state.UndoFolder = CommandLineFolder(kUndoNotPlain, choices.undoFolder);
  state.UndoOverNewer = choices.overNewer;
}

// The options the command line sets for this run count over the settings file.
void ApplyCommandLineOptions(CleanerState& state, const std::string& commandLine) {
  const CommandLineChoices choices = ParseCommandLine(CommandLineArguments(commandLine));
  if (choices.optDelete) state.OptDelete = *choices.optDelete;
  if (choices.optDelLink) state.OptDelLink = *choices.optDelLink;
  if (choices.optKillProcess) state.OptKillProcess = *choices.optKillProcess;
  if (choices.optAllUsers) state.OptAllUsers = *choices.optAllUsers || choices.allUsers;
  if (choices.optDeleteAtRestart) state.DeleteAtRestart = *choices.optDeleteAtRestart || choices.restart;
}

int CountLinesOfRuleFile(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  const int count = CountRuleLines(file);
  file.CloseAndFlush();
  return count;
}

// False when the rule file is missing.
bool CheckRuleFile(CleanerContext& context) {
  CleanerState& state = context.state;
  if (!IsExistingFile(state.RuleFilePath)) {
    TraceIfOn(context, kMissingRuleFileText);
    context.reporter.SimpleMessage(kMissingRuleFileText);
    // The box names no file; the report and the event log say which one was looked for.
    if (context.observer != nullptr) context.observer->ErrorShown(kMissingRuleFileText + (": " + state.RuleFilePath));
    // The run cannot do its work without rules; scripts learn it from the exit code.
    context.outcome.errorShown = true;
    return false;
  }
  state.RuleCount = CountLinesOfRuleFile(state.RuleFilePath);
  state.Progress = 0;
  context.view.SetStatusText("Base records : " + IntToText(state.RuleCount));
  TraceIfOn(context, "Rule file checked");
  context.view.SetGaugeRange(0, state.RuleCount);
  return true;
}

// A settings folder counts only as a plain drive path: "drivers" would name a folder of
// whatever the current folder is (System32 under a deployment tool). A refused one leaves
// the folder empty, so that no entry built on it names anything the settings did not.
std::string SettingsFolder(CleanerContext& context, const char* key, const std::string& value) {
  const std::string problem = PlainPathProblem(WideFromAnsi(value));
  if (problem.empty()) return value;
  AddInfo(context, kSettingsFolderRefusedText + std::string(key) + "=" + value + " - " + problem);
  return {};
}

// The folders and switches of the settings file take effect; the window shows them, and the
// folders as shown are the ones a later edit is measured against.
void FillChoices(CleanerContext& context) {
  CleanerState& state = context.state;
  if (!state.FolderProgram.empty()) state.ProgramFolder = SettingsFolder(context, "PROGRAM", state.FolderProgram);
  if (!state.FolderShared.empty()) state.SharedFolder = SettingsFolder(context, "SHARED", state.FolderShared);
  if (state.OptDelete) state.DeletePermission = true;
  context.view.ShowStartupChoices(state);
  state.InitialProgramFolder = state.ProgramFolder;
  state.InitialSharedFolder = state.SharedFolder;
}

}  // namespace

bool PrepareStartup(CleanerContext& context, const std::string& commandLine, const std::string& programPath) {
  CleanerState& state = context.state;
  ScanCommandLine(context, commandLine);
  state.WindowsFolder = WindowsFolder();
  state.SystemFolder = SystemFolder();
  ReadPlaceholderFolders(state);
  const std::string programFolder = FolderOfPath(programPath);
  ReadSettingsFileAt(context, programFolder + "\\" + kSettingsFileName);
  ApplyCommandLineOptions(state, commandLine);
  TraceIfOn(context, "ReadIni complete");
  // The switch wins over the settings file. A backup folder that is not a plain full path
  // ends start-up before any change, from either place: a run without its backup would
  // change what the backup was asked to keep.
  if (state.BackupFolder.empty() && !state.FolderBackup.empty()) {
    state.BackupFolder = CheckedFullPath(kBackupNotPlain, state.FolderBackup);
  }
  for (const std::string& line : SettingsInEffect(state)) TraceIfOn(context, line);
  // An undo needs neither rules nor a window.
  if (!state.UndoFolder.empty()) {
    state.RunMode = 1;
    return true;
  }
  if (state.QuietMode && state.RunMode == 0) {
    state.RunMode = 1;
    TraceIfOn(context, kQuietRunText);
  }
  state.StartMenuFolder.clear();
  state.RuleFilePath = programFolder + "\\" + kRuleFileName;
  // Quiet, nobody will answer for a missing rule file: end at once and change nothing.
  if (!CheckRuleFile(context) && state.QuietMode) return false;
  DiscoverFolders(context);
  FillChoices(context);
  return true;
}

void RunStartupFor(CleanerContext& context, const std::string& commandLine,
                   const std::string& programPath) {
  const bool ready = PrepareStartup(context, commandLine, programPath);
  if (ready && !context.state.UndoFolder.empty()) {
    RunUndo(context, context.state.UndoFolder);
    return;
  }
  if (ready && context.state.RunMode == 1) RunCleaning(context, UnattendedRunOptions(context.state));
}

void RunStartup(CleanerContext& context) { RunStartupFor(context, CommandLineText(), ProgramPath()); }
