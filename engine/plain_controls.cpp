#include "engine/plain_controls.h"

#include <algorithm>

void PlainControls::SetGaugeRange(int minimum, int maximum) {
  gaugeMinimum = minimum;
  gaugeMaximum = maximum;
  gaugeProgress = std::clamp(gaugeProgress, minimum, std::max(minimum, maximum));
}

void PlainControls::SetGaugeProgress(int progress) {
  gaugeProgress = std::clamp(progress, gaugeMinimum, std::max(gaugeMinimum, gaugeMaximum));
}

std::string PlainControls::FolderText(FolderFieldId field) const {
  return folderText[static_cast<int>(field)];
}

void PlainControls::SetFolderText(FolderFieldId field, const std::string& text) {
  const int i = static_cast<int>(field);
  if (folderText[i] == text) return;
  folderText[i] = text;
  ++folderChangeEvents[i];
  if (field == FolderFieldId::DirectoryEdit1) {
    state_.ProgramFolder = folderText[i];
  } else {
    state_.SharedFolder = folderText[i];
  }
}

void PlainControls::SetChecked(CheckBoxId box, bool value) {
  const int i = Index(box);
  if (checked[i] == value) return;
  checked[i] = value;
  if (box == CheckBoxId::CheckBox2) {
    state_.DeletePermission = checked[i];
    enabled[Index(CheckBoxId::CheckBox3)] = checked[i];
  }
}

std::string PlainControls::Caption(CheckBoxId box) const {
  switch (box) {
    case CheckBoxId::CheckBox1: return kCheckBox1Caption;
    case CheckBoxId::CheckBox2: return kCheckBox2Caption;
    case CheckBoxId::CheckBox3: return kCheckBox3Caption;
  }
  return {};
}
