#include "startup/startup.h"

#include <windows.h>

#include "engine/cleaning_run.h"
#include "engine/rule_file.h"
#include "engine/trace.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/text_rules.h"
#include "startup/folder_discovery.h"
#include "startup/settings_file.h"

namespace {

constexpr char kTraceSwitch[] = "/TL";

void ScanCommandLine(CleanerContext& context, const std::string& commandLine) {
  for (const std::string& argument : CommandLineArguments(commandLine)) {
    if (UpperAscii(argument) != kTraceSwitch) continue;
    // A repeated switch finds the log open and keeps it, with what it holds.
    context.state.TraceLogOn = true;
    context.trace.Open(kTraceLogFileName);
    TraceIfOn(context, "Log file created");
  }
}

int CountLinesOfRuleFile(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  const int count = CountRuleLines(file);
  file.CloseAndFlush();
  return count;
}

void CheckRuleFile(CleanerContext& context) {
  CleanerState& state = context.state;
  if (!IsExistingFile(state.RuleFilePath)) {
    TraceIfOn(context, kMissingRuleFileText);
    context.reporter.SimpleMessage(kMissingRuleFileText);
    // The run cannot do its work without rules; scripts learn it from the exit code.
    context.outcome.errorShown = true;
    return;
  }
  state.RuleCount = CountLinesOfRuleFile(state.RuleFilePath);
  state.Progress = 0;
  context.view.SetStatusText("Base records : " + IntToText(state.RuleCount));
  TraceIfOn(context, "Rule file checked");
  context.view.SetGaugeRange(0, state.RuleCount);
}

// The folders and switches of the settings file take effect; the window shows them, and the
// folders as shown are the ones a later edit is measured against.
void FillChoices(CleanerContext& context) {
  CleanerState& state = context.state;
  if (!state.FolderProgram.empty()) state.ProgramFolder = state.FolderProgram;
  if (!state.FolderShared.empty()) state.SharedFolder = state.FolderShared;
  if (state.OptDelete) state.DeletePermission = true;
  context.view.ShowStartupChoices(state);
  state.InitialProgramFolder = state.ProgramFolder;
  state.InitialSharedFolder = state.SharedFolder;
}

}  // namespace

void PrepareStartup(CleanerContext& context, const std::string& commandLine, const std::string& programPath) {
  CleanerState& state = context.state;
  ScanCommandLine(context, commandLine);
  state.WindowsFolder = WindowsFolder();
  state.SystemFolder = SystemFolder();
  const std::string programFolder = FolderOfPath(programPath);
  ReadSettingsFileAt(context, programFolder + "\\" + kSettingsFileName);
  TraceIfOn(context, "ReadIni complete");
  state.StartMenuFolder.clear();
  state.RuleFilePath = programFolder + "\\" + kRuleFileName;
  CheckRuleFile(context);
  DiscoverFolders(context);
  FillChoices(context);
}

void RunStartupFor(CleanerContext& context, const std::string& commandLine,
                   const std::string& programPath) {
  PrepareStartup(context, commandLine, programPath);
  if (context.state.RunMode == 1) RunCleaning(context, UnattendedRunOptions(context.state));
}

void RunStartup(CleanerContext& context) { RunStartupFor(context, CommandLineText(), ProgramPath()); }
