#pragma once
// How start-up and a cleaning run show themselves in the main window. The engine never reads
// a window control; it only tells the window what to show. NoRunView is the form used when
// there is no window (an unattended run where none could be made, the plan, tests).
#include <string>

#include "engine/cleaner_state.h"

class RunView {
 public:
  virtual ~RunView() = default;
  virtual void SetGaugeRange(int minimum, int maximum) = 0;
  virtual void SetGaugeProgress(int progress) = 0;
  virtual void SetStatusText(const std::string& text) = 0;  // first status-bar panel
  // Start-up has filled the state: show its folders, switches and the Start Menu folder.
  // The window's folder fields copy their texts back into ProgramFolder and SharedFolder.
  virtual void ShowStartupChoices(const CleanerState& state) = 0;
  // The deletion confirmation was refused: deletion and shortcut removal are off now.
  virtual void DeletionRefused() = 0;
};

class NoRunView : public RunView {
 public:
  void SetGaugeRange(int, int) override {}
  void SetGaugeProgress(int) override {}
  void SetStatusText(const std::string&) override {}
  void ShowStartupChoices(const CleanerState&) override {}
  void DeletionRefused() override {}
};
