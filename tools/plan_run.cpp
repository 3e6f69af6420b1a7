#include <windows.h>

#include "tools/plan_run.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "engine/cleaning_run.h"
#include "engine/effects.h"
#include "engine/plain_controls.h"
#include "engine/process_termination.h"
#include "engine/rule_file.h"
#include "engine/rule_pass.h"
#include "engine/shortcut_removal.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/process_services.h"
#include "platform/text_rules.h"
#include "report/trace_log.h"
#include "startup/startup.h"
#include "tools/plan_probe.h"
#include "tools/section_tracker.h"

namespace {

enum class Phase { Startup, Processes, RulePass, Shortcuts };

struct Position {
  Phase phase = Phase::Startup;
  std::size_t line = 0;  // rule line during the rule pass
};

// Where the run is while the engine works, and from which recorded action on.
class PlanTracker {
 public:
  explicit PlanTracker(const RecordingEffects& effects) : effects_(effects) {}
  void MoveTo(Phase phase, std::size_t line = 0) {
    current_ = {phase, line};
    marks_.push_back({effects_.actions.size(), current_});
  }
  Position Current() const { return current_; }
  // The position at which the action with this index was recorded.
  Position OfAction(std::size_t index) const {
    const auto after = std::upper_bound(marks_.begin(), marks_.end(), index,
                                        [](std::size_t i, const auto& mark) { return i < mark.first; });
    return after == marks_.begin() ? Position{} : std::prev(after)->second;
  }

 private:
  const RecordingEffects& effects_;
  Position current_;
  std::vector<std::pair<std::size_t, Position>> marks_;
};

// Every rule line read moves the gauge: that is where the pass stands.
class PlanControls : public PlainControls {
 public:
  PlanControls(CleanerState& state, PlanTracker& tracker) : PlainControls(state), tracker_(tracker) {}
  void SetGaugeProgress(int progress) override {
    PlainControls::SetGaugeProgress(progress);
    if (tracker_.Current().phase == Phase::RulePass) tracker_.MoveTo(Phase::RulePass, static_cast<std::size_t>(progress));
  }

 private:
  PlanTracker& tracker_;
};

struct Note {
  Position position;
  std::string text;
};

// Keeps the information list and the messages; answers every question with yes.
class PlanReporter : public Reporter {
 public:
  explicit PlanReporter(const PlanTracker& tracker) : tracker_(tracker) {}
  void ShowInfo(const std::string& line) override { notes.push_back({tracker_.Current(), line}); }
  void SimpleMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string&) override { return true; }

  std::vector<Note> notes;
  std::vector<std::string> messages;

 private:
  const PlanTracker& tracker_;
};

void NoPause(DWORD) {}

std::string VerbOf(RecordedAction::Kind kind) {
  switch (kind) {
    case RecordedAction::Kind::SetAttributes: return "set-attributes";
    case RecordedAction::Kind::RemoveFile: return "remove-file";
    case RecordedAction::Kind::RemoveFolder: return "remove-folder";
    case RecordedAction::Kind::DeleteKey: return "delete-key";
    case RecordedAction::Kind::DeleteValue: return "delete-value";
    case RecordedAction::Kind::WriteValue: return "write-value";
    case RecordedAction::Kind::EndProcess: return "end-process";
  }
  return "unknown";
}

bool SamePosition(const Position& a, Phase phase, std::size_t line) { return a.phase == phase && a.line == line; }

class PlanBuilder {
 public:
  PlanBuilder(const RecordingEffects& effects, const PlanTracker& tracker, const PlanReporter& reporter)
      : effects_(effects), reporter_(reporter) {
    for (std::size_t i = 0; i < effects.actions.size(); ++i) {
      const Position position = tracker.OfAction(i);
      actionsAt_[{position.phase, position.line}].push_back(i);
    }
  }

  // The actions and notes recorded at one position, with the state of each action's target.
  void Collect(PlanStep& step, Phase phase, std::size_t line, std::optional<RuleSectionKind> kind) {
    const auto found = actionsAt_.find({phase, line});
    for (const std::size_t i : found == actionsAt_.end() ? std::vector<std::size_t>{} : found->second) {
      const RecordedAction& recorded = effects_.actions[i];
      PlanAction action{VerbOf(recorded.kind), recorded.target, {}, {},
                        std::u16string(recorded.wideTarget.begin(), recorded.wideTarget.end())};
      if (recorded.kind == RecordedAction::Kind::SetAttributes || recorded.kind == RecordedAction::Kind::WriteValue) {
        action.detail = recorded.detail;
      }
      action.now = StateOf(recorded, step.entry, kind);
      step.actions.push_back(std::move(action));
    }
    for (const Note& note : reporter_.notes) {
      if (SamePosition(note.position, phase, line)) step.notes.push_back(note.text);
    }
  }

  TargetState EntryState(const PlanStep& step, RuleSectionKind kind) {
    const std::string& entry = step.entry;
    if (entry.empty()) return {};
    switch (kind) {
      case RuleSectionKind::RegistryDelete: {
        const DeleteKeyEntry key = ParseDeleteKeyEntry(entry);
        return KeyStateNow(key.root, key.keyPath);
      }
      case RuleSectionKind::RegistryDeleteVal: {
        const DeleteValueEntry value = ParseDeleteValueEntry(entry);
        return ValueStateNow(value.root, value.keyPath, value.valueName);
      }
      case RuleSectionKind::RegistryMoveVal: {
        const auto rename = ParseRenameValueEntry(entry);
        return rename ? ValueStateNow(rename->root, rename->keyPath, rename->oldName) : TargetState{};
      }
      case RuleSectionKind::DeleteFolder:
        // Refused folders (a drive root, say) are not counted through.
        if (step.actions.empty()) {
          TargetState state;
          state.known = true;
          state.exists = IsExistingFolder(entry);
          return state;
        }
        return folders_.StateNow(entry);
      case RuleSectionKind::DeleteFile: return FileStateNow(entry);
    }
    return {};
  }

 private:
  TargetState StateOf(const RecordedAction& recorded, const std::string& entry, std::optional<RuleSectionKind> kind) {
    switch (recorded.kind) {
      case RecordedAction::Kind::SetAttributes:
      case RecordedAction::Kind::RemoveFile:
        return recorded.wideTarget.empty() ? FileStateNow(recorded.target) : FileStateNow(recorded.wideTarget);
      case RecordedAction::Kind::RemoveFolder: return folders_.StateNow(recorded.target);
      case RecordedAction::Kind::DeleteKey: return KeyStateNow(recorded.target);
      case RecordedAction::Kind::EndProcess: return ProcessStateNow(recorded.target);
      case RecordedAction::Kind::DeleteValue:
      case RecordedAction::Kind::WriteValue: break;
    }
    // Value names may hold `\`: the entry tells which value the action is about.
    if (kind == RuleSectionKind::RegistryDeleteVal) {
      const DeleteValueEntry value = ParseDeleteValueEntry(entry);
      return ValueStateNow(value.root, value.keyPath, value.valueName);
    }
    if (kind == RuleSectionKind::RegistryMoveVal) {
      if (const auto rename = ParseRenameValueEntry(entry)) {
        const bool writing = recorded.kind == RecordedAction::Kind::WriteValue;
        return ValueStateNow(rename->root, rename->keyPath, writing ? rename->newName : rename->oldName);
      }
    }
    return {};
  }

  const RecordingEffects& effects_;
  const PlanReporter& reporter_;
  std::map<std::pair<Phase, std::size_t>, std::vector<std::size_t>> actionsAt_;
  FolderCounter folders_;
};

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
void AddRuleSteps(PlanReport& report, PlanBuilder& builder, const CleanerState& state, std::size_t lastLine) {
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

}  // namespace

PlanReport MakePlan(const PlanOptions& options, const std::string& programPath) {
  CleanerState state;
  RecordingEffects effects;
  PlanTracker tracker(effects);
  PlanControls controls(state, tracker);
  PlanReporter reporter(tracker);
  TraceLog trace;  // never opened: the plan writes no trace
  CleanerContext context{state, controls, effects, reporter, trace};

  PrepareStartup(context, FileNameOfPath(programPath), StartupProgramPath(options, programPath));
  if (!options.ruleFile.empty() && options.ruleFile != state.RuleFilePath) {
    state.RuleFilePath = options.ruleFile;
    if (IsExistingFile(state.RuleFilePath)) {
      std::erase(reporter.messages, std::string("File with rule does not Exist"));
      state.RuleCount = CountLinesOf(state.RuleFilePath);
    }
  }
  if (!IsExistingFile(state.RuleFilePath)) throw Exception("no rule file at " + state.RuleFilePath);
  if (!options.programFolder.empty()) controls.SetFolderText(FolderFieldId::DirectoryEdit1, options.programFolder);
  if (!options.sharedFolder.empty()) controls.SetFolderText(FolderFieldId::DirectoryEdit2, options.sharedFolder);

  PlanReport report;
  if (state.RunMode != 0 && state.RunMode != 1) {
    report.messages.push_back("SILENT=" + IntToText(state.RunMode) +
                              ": the cleaner ends after start-up and cleans nothing; this is what a run would do");
  }
  // Every refusal and failure is to reach the reporter, as in the interactive mode.
  state.RunMode = 0;

  if (controls.IsChecked(CheckBoxId::CheckBox1)) {
    tracker.MoveTo(Phase::Processes);
    TerminateProductProcesses(context, ProcessTerminationServices{TakeProcessSnapshot, NoPause});
  }
  tracker.MoveTo(Phase::RulePass);
  bool passCompleted = false;
  try {
    RunRulePass(context);
    passCompleted = true;
  } catch (const Exception& error) {
    report.runError = error.Message();
    report.runErrorLine = tracker.Current().line;
  }
  const bool shortcuts = passCompleted && ShortcutRemovalWanted(context);
  if (shortcuts) {
    tracker.MoveTo(Phase::Shortcuts);
    RemoveShortcuts(context);
  }

  PlanBuilder builder(effects, tracker, reporter);
  if (controls.IsChecked(CheckBoxId::CheckBox1)) {
    PlanStep processes;
    processes.section = "Processes";
    builder.Collect(processes, Phase::Processes, 0, std::nullopt);
    // The dry run ends nothing, so every pass finds the same processes again.
    std::vector<PlanAction> distinct;
    for (PlanAction& action : processes.actions) {
      const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const PlanAction& other) {
        return EqualsIgnoringAsciiCase(other.target, action.target);
      });
      if (!seen) distinct.push_back(std::move(action));
    }
    processes.actions = std::move(distinct);
    report.steps.push_back(std::move(processes));
  }
  AddRuleSteps(report, builder, state,
               passCompleted ? static_cast<std::size_t>(-1) : report.runErrorLine);
  if (shortcuts) {
    PlanStep links;
    links.section = "Shortcuts";
    links.entry = state.StartMenuFolder;
    builder.Collect(links, Phase::Shortcuts, 0, std::nullopt);
    if (!links.entry.empty()) links.now = builder.EntryState(links, RuleSectionKind::DeleteFolder);
    report.steps.push_back(std::move(links));
  }

  PlanSettings& settings = report.settings;
  settings.ruleFile = state.RuleFilePath;
  settings.ruleLines = state.RuleCount;
  settings.programFolder = state.ProgramFolder;
  settings.sharedFolder = state.SharedFolder;
  settings.programFilesFolder = state.ProgramFilesFolder;
  settings.windowsFolder = state.WindowsFolder;
  settings.systemFolder = state.SystemFolder;
  settings.startMenuFolder = state.StartMenuFolder;
  settings.killProcesses = controls.IsChecked(CheckBoxId::CheckBox1);
  settings.deleteFiles = state.DeletePermission;
  settings.deleteLinks = ShortcutRemovalWanted(context);
  report.messages.insert(report.messages.begin(), reporter.messages.begin(), reporter.messages.end());
  return report;
}
