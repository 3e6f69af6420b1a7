#pragma once
// Controls held as plain values, with the main window's handlers for the folder fields and
// CheckBox2, so the engine and start-up run without a window.
#include "engine/cleaner_state.h"
#include "engine/controls.h"

class PlainControls : public Controls {
 public:
  explicit PlainControls(CleanerState& state) : state_(state) {}

  void SetGaugeRange(int minimum, int maximum) override;
  void SetGaugeProgress(int progress) override;
  void SetStatusText(const std::string& text) override { statusText = text; }
  std::string FolderText(FolderFieldId field) const override;
  void SetFolderText(FolderFieldId field, const std::string& text) override;
  bool IsChecked(CheckBoxId box) const override { return checked[Index(box)]; }
  void SetChecked(CheckBoxId box, bool value) override;
  bool IsEnabled(CheckBoxId box) const override { return enabled[Index(box)]; }
  void SetEnabled(CheckBoxId box, bool value) override { enabled[Index(box)] = value; }
  std::string Caption(CheckBoxId box) const override;
  void SetHint(CheckBoxId box, const std::string& text) override { hint[Index(box)] = text; }

  static int Index(CheckBoxId box) { return static_cast<int>(box); }

  // The values as a window would show them; tests read them directly.
  int gaugeMinimum = 0;
  int gaugeMaximum = 100;
  int gaugeProgress = 0;
  std::string statusText;
  std::string folderText[2];
  int folderChangeEvents[2] = {0, 0};
  bool checked[3] = {true, false, false};
  bool enabled[3] = {true, true, false};
  std::string hint[3];

 private:
  CleanerState& state_;
};
