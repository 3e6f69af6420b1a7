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
    context.reporter.SimpleMessage("File with rule does not Exist");
    // The run cannot do its work without rules; scripts learn it from the exit code.
    context.outcome.errorShown = true;
    return;
  }
  state.RuleCount = CountLinesOfRuleFile(state.RuleFilePath);
  state.Progress = 0;
  context.controls.SetStatusText("Base records : " + IntToText(state.RuleCount));
  TraceIfOn(context, "Rule file checked");
  context.controls.SetGaugeRange(0, state.RuleCount);
}

void FillControls(CleanerContext& context) {
  CleanerState& state = context.state;
  Controls& controls = context.controls;
  if (!state.StartMenuFolder.empty()) {
    controls.SetHint(CheckBoxId::CheckBox3,
                     controls.Caption(CheckBoxId::CheckBox3) + " - " + state.StartMenuFolder);
  }
  // The change handlers copy the texts into ProgramFolder and SharedFolder.
  controls.SetFolderText(FolderFieldId::DirectoryEdit1,
                         state.FolderProgram.empty() ? state.ProgramFolder : state.FolderProgram);
  controls.SetFolderText(FolderFieldId::DirectoryEdit2,
                         state.FolderShared.empty() ? state.SharedFolder : state.FolderShared);
  state.InitialProgramFolder = controls.FolderText(FolderFieldId::DirectoryEdit1);
  state.InitialSharedFolder = controls.FolderText(FolderFieldId::DirectoryEdit2);
  if (state.OptDelete) {
    controls.SetChecked(CheckBoxId::CheckBox2, true);
    const bool deleting = controls.IsChecked(CheckBoxId::CheckBox2);
    state.DeletePermission = deleting;
    controls.SetEnabled(CheckBoxId::CheckBox3, deleting);
  }
  if (state.OptDelLink) controls.SetChecked(CheckBoxId::CheckBox3, true);
  controls.SetChecked(CheckBoxId::CheckBox1, state.OptKillProcess);
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
  FillControls(context);
}

void RunStartupFor(CleanerContext& context, const std::string& commandLine,
                   const std::string& programPath) {
  PrepareStartup(context, commandLine, programPath);
  if (context.state.RunMode == 1) RunCleaning(context);
}

void RunStartup(CleanerContext& context) { RunStartupFor(context, CommandLineText(), ProgramPath()); }
