#include <windows.h>

#include "tools/plan/plan_run.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/gateway/recording_effects.h"
#include "engine/rules/rule_file.h"
#include "engine/run/cleaning_run.h"
#include "engine/run/process_termination.h"
#include "engine/run/rule_pass.h"
#include "engine/run/shortcut_removal.h"
#include "engine/trace.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/line_file.h"
#include "platform/processes/process_services.h"
#include "platform/text/text_rules.h"
#include "startup/startup.h"
#include "tools/plan/plan_recording.h"
#include "tools/plan/plan_steps.h"
#include "tools/rules/section_tracker.h"

namespace {

void NoPause(DWORD) {}

std::string TraceWordOf(const RuleSection& section) {
  std::string word(section.traceWord);
  while (!word.empty() && word.back() == ' ') word.pop_back();
  return word;
}

int CountLinesOf(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  const int count = CountRuleLines(file);
  file.CloseAndFlush();
  return count;
}

// One step per rule entry the pass reached, in file order.
void AddRuleSteps(PlanReport& report, PlanStepBuilder& builder, const CleanerState& state, std::size_t lastLine) {
  LineFile file;
  file.OpenForReading(state.RuleFilePath);
  SectionTracker sections;
  for (std::size_t number = 1; number <= lastLine && !file.AtEnd(); ++number) {
    const std::string line = ReadRuleLine(file, state);
    const LineInSection place = sections.Next(number, line);
    if (place.role != LineRole::Entry) continue;
    PlanStep step;
    step.line = number;
    step.section = TraceWordOf(*place.section);
    step.entry = line;
    step.skipped = place.section->needsDeletePermission && !state.DeletePermission;
    builder.Collect(step, Phase::RulePass, number, place.section->kind);
    step.now = builder.EntryState(step, place.section->kind);
    report.steps.push_back(std::move(step));
  }
  file.CloseAndFlush();
}

// The rule file of the plan: beside RuleTool.exe, or the one given, whose folder then also
// holds the settings file.
std::string StartupProgramPath(const PlanOptions& options, const std::string& programPath) {
  if (options.ruleFile.empty()) return programPath;
  return FolderOfPath(options.ruleFile) + "\\" + FileNameOfPath(programPath);
}

// One step for the processes: the dry run ends nothing, so every pass of process
// termination finds the same processes again and asks for them once more.
PlanStep ProcessStep(PlanStepBuilder& builder) {
  PlanStep processes;
  processes.section = "Processes";
  builder.Collect(processes, Phase::Processes, 0, std::nullopt);
  std::vector<PlanAction> distinct;
  for (PlanAction& action : processes.actions) {
    const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const PlanAction& other) {
      return EqualsIgnoringAsciiCase(other.target, action.target);
    });
    if (!seen) distinct.push_back(std::move(action));
  }
  processes.actions = std::move(distinct);
  return processes;
}

PlanStep ShortcutStep(PlanStepBuilder& builder, const CleanerState& state) {
  PlanStep links;
  links.section = "Shortcuts";
  links.entry = state.StartMenuFolder;
  builder.Collect(links, Phase::Shortcuts, 0, std::nullopt);
  if (!links.entry.empty()) links.now = builder.EntryState(links, RuleSectionKind::DeleteFolder);
  return links;
}

PlanSettings SettingsOf(const CleanerState& state, const RunOptions& run) {
  PlanSettings settings;
  settings.ruleFile = state.RuleFilePath;
  settings.ruleLines = state.RuleCount;
  settings.programFolder = run.programFolder;
  settings.sharedFolder = run.sharedFolder;
  settings.programFilesFolder = state.ProgramFilesFolder;
  settings.windowsFolder = state.WindowsFolder;
  settings.systemFolder = state.SystemFolder;
  settings.startMenuFolder = state.StartMenuFolder;
  settings.killProcesses = run.endProcesses;
  settings.deleteFiles = run.deleteFilesAndFolders;
  settings.deleteLinks = run.deleteFilesAndFolders && run.deleteShortcuts;
  settings.backupFolder = run.backupFolder;
  return settings;
}

// Start-up as the cleaner makes it, then the folders given on the command line as if typed;
// the run's options as an unattended run (or Start, for typed folders) would take them.
RunOptions StartUp(CleanerContext& context, PlanReporter& reporter, const PlanOptions& options,
                   const std::string& programPath) {
  CleanerState& state = context.state;
  PrepareStartup(context, FileNameOfPath(programPath), StartupProgramPath(options, programPath));
  if (!options.ruleFile.empty() && options.ruleFile != state.RuleFilePath) {
    state.RuleFilePath = options.ruleFile;
    if (IsExistingFile(state.RuleFilePath)) {
      std::erase(reporter.messages, std::string("File with rule does not Exist"));
      state.RuleCount = CountLinesOf(state.RuleFilePath);
    }
  }
  if (!IsExistingFile(state.RuleFilePath)) throw Exception("no rule file at " + state.RuleFilePath);
  if (options.deleteAtRestart) state.DeleteAtRestart = true;
  if (!options.backupFolder.empty()) state.BackupFolder = options.backupFolder;
  RunOptions run = UnattendedRunOptions(state);
  if (!options.programFolder.empty()) run.programFolder = options.programFolder;
  if (!options.sharedFolder.empty()) run.sharedFolder = options.sharedFolder;
  if (state.RunMode != 0 && state.RunMode != 1) {
    reporter.messages.push_back("SILENT=" + IntToText(state.RunMode) +
                                ": the cleaner ends after start-up and cleans nothing; this is what a run would do");
  }
  const bool edited = run.programFolder != run.initialProgramFolder || run.sharedFolder != run.initialSharedFolder;
  if (edited && run.deleteFilesAndFolders) {
    reporter.messages.push_back("the folders were changed: a run would first ask \"Confirm File Delete\"; "
                                "this plan is for the answer Yes");
  }
  // Every refusal and failure is to reach the reporter, as in the interactive mode.
  state.RunMode = 0;
  return run;
}

}  // namespace

PlanReport MakePlan(const PlanOptions& options, const std::string& programPath) {
  CleanerState state;
  RecordingEffects effects;
  effects.answerInUse = true;
  PlanTracker tracker(effects);
  PlanView view(tracker);
  PlanReporter reporter(tracker);
  NoTrace trace;  // the plan writes no trace
  CleanerContext context{state, view, effects, reporter, trace};
  const RunOptions run = StartUp(context, reporter, options, programPath);
  if (options.allUsers) state.OptAllUsers = true;
  const OtherUsersForRun otherUsers(context);
  for (const UserHive& hive : context.userHives) {
    reporter.messages.push_back("every user: " + hive.sid + " in HKEY_USERS\\" + hive.keyName + ", profile " +
                                hive.profileFolder);
  }

  // The steps of a cleaning run, each through the recording gateway.
  PlanReport report;
  const bool killing = run.endProcesses;
  if (killing) {
    tracker.MoveTo(Phase::Processes);
    ProcessTerminationServices services{TakeProcessSnapshot, NoPause};
    services.endsBySelf = [](DWORD, DWORD) { return true; };  // a stopped service's process ends
    TerminateProductProcesses(context, services);
  }
  tracker.MoveTo(Phase::RulePass);
  bool passCompleted = false;
  try {
    RunRulePass(context, run);
    passCompleted = true;
  } catch (const Exception& error) {
    report.runError = error.Message();
    report.runErrorLine = tracker.Current().line;
  }
  const bool shortcuts = passCompleted && run.deleteFilesAndFolders && run.deleteShortcuts;
  if (shortcuts) {
    tracker.MoveTo(Phase::Shortcuts);
    RemoveShortcuts(context);
  }

  PlanStepBuilder builder(effects, tracker, reporter);
  if (killing) report.steps.push_back(ProcessStep(builder));
  AddRuleSteps(report, builder, state, passCompleted ? static_cast<std::size_t>(-1) : report.runErrorLine);
  if (shortcuts) report.steps.push_back(ShortcutStep(builder, state));
  report.settings = SettingsOf(state, run);
  report.messages = reporter.messages;
  return report;
}
