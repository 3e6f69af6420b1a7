#pragma once
// Turns what the dry run recorded into the plan's steps: the actions and notes of one
// position, and the state of every target as it is now.
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "engine/rules/rule_sections.h"
#include "tools/plan/plan_probe.h"
#include "tools/plan/plan_recording.h"
#include "tools/plan/plan_report.h"

class PlanStepBuilder {
 public:
  PlanStepBuilder(const RecordingEffects& effects, const PlanTracker& tracker, const PlanReporter& reporter);

  // Adds the actions and notes recorded at one position, each action with its target's state.
  void Collect(PlanStep& step, Phase phase, std::size_t line, std::optional<RuleSectionKind> kind);
  // The state of what the entry names.
  TargetState EntryState(const PlanStep& step, RuleSectionKind kind);

 private:
  TargetState StateOf(const RecordedAction& recorded, const std::string& entry, std::optional<RuleSectionKind> kind);

  const RecordingEffects& effects_;
  const PlanReporter& reporter_;
  std::map<std::pair<Phase, std::size_t>, std::vector<std::size_t>> actionsAt_;
  FolderCounter folders_;
};
