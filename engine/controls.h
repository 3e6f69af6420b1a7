#pragma once
// The few controls of the main window that the engine reads and writes. The main window
// implements this; PlainControls stands in where no window exists (tests, tools).
#include <string>

enum class CheckBoxId { CheckBox1, CheckBox2, CheckBox3 };  // kill process, delete, delete link
enum class FolderFieldId { DirectoryEdit1, DirectoryEdit2 };  // program folder, shared folder

class Controls {
 public:
  virtual ~Controls() = default;

  virtual void SetGaugeRange(int minimum, int maximum) = 0;
  virtual void SetGaugeProgress(int progress) = 0;
  virtual void SetStatusText(const std::string& text) = 0;  // first status-bar panel

  virtual std::string FolderText(FolderFieldId field) const = 0;
  // Replaces the text; when it differs, the field's change handler runs once.
  virtual void SetFolderText(FolderFieldId field, const std::string& text) = 0;

  virtual bool IsChecked(CheckBoxId box) const = 0;
  // For CheckBox2 a change of state runs its click handler.
  virtual void SetChecked(CheckBoxId box, bool checked) = 0;
  virtual bool IsEnabled(CheckBoxId box) const = 0;
  virtual void SetEnabled(CheckBoxId box, bool enabled) = 0;
  virtual std::string Caption(CheckBoxId box) const = 0;
  virtual void SetHint(CheckBoxId box, const std::string& hint) = 0;
};

inline constexpr char kCheckBox1Caption[] = "Kill QRV process";
inline constexpr char kCheckBox2Caption[] = "Enable delete file and folder";
inline constexpr char kCheckBox3Caption[] = "Delete link from \"Start Menu\"";
