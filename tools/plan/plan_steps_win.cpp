#include <windows.h>

#include "tools/plan/plan_steps.h"

#include "engine/rules/registry_entry.h"
#include "platform/files/files.h"
#include "platform/text/wide_text.h"

namespace {

std::string VerbOf(RecordedAction::Kind kind) {
  switch (kind) {
    case RecordedAction::Kind::SetAttributes: return "set-attributes";
    case RecordedAction::Kind::RemoveFile: return "remove-file";
    case RecordedAction::Kind::RemoveFolder: return "remove-folder";
    case RecordedAction::Kind::DeleteAtRestart: return "delete-at-restart";
    case RecordedAction::Kind::MoveItem: return "move-file";
    case RecordedAction::Kind::CreateFolder: return "create-folder";
    case RecordedAction::Kind::SetTimes: return "set-times";
    case RecordedAction::Kind::CreateKey: return "create-key";
    case RecordedAction::Kind::DeleteKey: return "delete-key";
    case RecordedAction::Kind::DeleteValue: return "delete-value";
    case RecordedAction::Kind::WriteValue: return "write-value";
    case RecordedAction::Kind::EndProcess: return "end-process";
    case RecordedAction::Kind::StopService: return "stop-service";
    case RecordedAction::Kind::ConfigureService: return "configure-service";
  }
  return "unknown";
}

bool SamePosition(const Position& a, Phase phase, std::size_t line) { return a.phase == phase && a.line == line; }

}  // namespace

PlanStepBuilder::PlanStepBuilder(const RecordingEffects& effects, const PlanTracker& tracker, const PlanReporter& reporter)
    : effects_(effects), reporter_(reporter) {
  for (std::size_t i = 0; i < effects.actions.size(); ++i) {
    const Position position = tracker.OfAction(i);
    actionsAt_[{position.phase, position.line}].push_back(i);
  }
}

void PlanStepBuilder::Collect(PlanStep& step, Phase phase, std::size_t line, std::optional<RuleSectionKind> kind) {
  static const std::vector<std::size_t> kNone;
  const auto found = actionsAt_.find({phase, line});
  for (const std::size_t i : found == actionsAt_.end() ? kNone : found->second) {
    const RecordedAction& recorded = effects_.actions[i];
    PlanAction action{VerbOf(recorded.kind), recorded.target, {}, {},
                      std::u16string(recorded.wideTarget.begin(), recorded.wideTarget.end())};
    if (recorded.kind == RecordedAction::Kind::SetAttributes || recorded.kind == RecordedAction::Kind::WriteValue ||
        recorded.kind == RecordedAction::Kind::MoveItem) {
      action.detail = recorded.detail;
    }
    action.now = StateOf(recorded, step.entry, kind);
    step.actions.push_back(std::move(action));
  }
  for (const Note& note : reporter_.notes) {
    if (SamePosition(note.position, phase, line)) step.notes.push_back(note.text);
  }
}

TargetState PlanStepBuilder::EntryState(const PlanStep& step, RuleSectionKind kind) {
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
      return folders_.StateNow(WideFromAnsi(entry));
    case RuleSectionKind::DeleteFile: return FileStateNow(entry);
  }
  return {};
}

TargetState PlanStepBuilder::StateOf(const RecordedAction& recorded, const std::string& entry, std::optional<RuleSectionKind> kind) {
  switch (recorded.kind) {
    case RecordedAction::Kind::SetAttributes:
    case RecordedAction::Kind::RemoveFile:
    case RecordedAction::Kind::MoveItem:  // a file in use moved aside for the restart
      return FileStateNow(recorded.wideTarget);
    case RecordedAction::Kind::RemoveFolder: return folders_.StateNow(recorded.wideTarget);
    case RecordedAction::Kind::DeleteAtRestart:
      return IsExistingFolderWide(recorded.wideTarget) ? folders_.StateNow(recorded.wideTarget)
                                                       : FileStateNow(recorded.wideTarget);
    case RecordedAction::Kind::DeleteKey: return KeyStateNow(recorded.wideTarget);
    case RecordedAction::Kind::EndProcess: return ProcessStateNow(recorded.target);
    case RecordedAction::Kind::StopService:
    case RecordedAction::Kind::ConfigureService: return {};  // a service's state is not looked up
    // Undo's changes (a plan is never made of an undo), and the pending folder of the restart.
    case RecordedAction::Kind::CreateFolder:
    case RecordedAction::Kind::SetTimes:
    case RecordedAction::Kind::CreateKey: return {};
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
