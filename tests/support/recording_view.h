#pragma once
// A view that shows nothing and keeps what start-up and a run told it.
#include <optional>
#include <string>

#include "engine/run_view.h"

class RecordingView : public RunView {
 public:
  void SetGaugeRange(int minimum, int maximum) override {
    gaugeMinimum = minimum;
    gaugeMaximum = maximum;
  }
  void SetGaugeProgress(int progress) override { gaugeProgress = progress; }
  void SetStatusText(const std::string& text) override { statusText = text; }
  void ShowStartupChoices(const CleanerState& state) override { choices = state; }
  void DeletionRefused() override { ++deletionRefusals; }

  int gaugeMinimum = 0;
  int gaugeMaximum = 100;
  int gaugeProgress = 0;
  std::string statusText;
  std::optional<CleanerState> choices;  // the state as start-up showed it
  int deletionRefusals = 0;
};
