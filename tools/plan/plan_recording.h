#pragma once
// What the plan's dry run keeps while the engine works: where the run stands (its phase and,
// in the rule pass, the rule line the gauge was last moved to), from which recorded action
// on, and every line the information list and the messages would have shown.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/gateway/recording_effects.h"
#include "engine/reporter.h"
#include "engine/run_view.h"

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
class PlanView : public NoRunView {
 public:
  explicit PlanView(PlanTracker& tracker) : tracker_(tracker) {}
  void SetGaugeProgress(int progress) override {
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
