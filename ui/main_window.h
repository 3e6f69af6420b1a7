#pragma once
// The main window, Form1: two folder fields, three switches, Start and Exit, the pie gauge
// and the status bar. Its handlers are where start-up and the cleaning run happen; it shows
// their progress as the engine's view, and builds a run's options from its controls at Start.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/run/cleaning_run.h"
#include "engine/run_options.h"
#include "engine/run_view.h"
#include "platform/handles.h"
#include "ui/folder_field.h"
#include "ui/panel.h"
#include "ui/pie_gauge.h"
#include "ui/status_bar.h"

// What creation and the Start button run. RunCleaning marks context.runUnderWay while it
// works; the window relies on that to ignore a second Start and to hold back a close.
struct EngineEntryPoints {
  std::function<void(CleanerContext&)> startup;
  std::function<void(CleanerContext&, RunOptions)> cleaning;
};

enum class CheckBoxId { CheckBox1, CheckBox2, CheckBox3 };    // end processes, delete, delete links
enum class FolderFieldId { DirectoryEdit1, DirectoryEdit2 };  // program folder, shared folder

inline constexpr char kCheckBox1Caption[] = "Kill QRV process";
inline constexpr char kCheckBox2Caption[] = "Enable delete file and folder";
inline constexpr char kCheckBox3Caption[] = "Delete link from \"Start Menu\"";
inline constexpr char kNoMainWindowText[] = "The main window could not be created: ";

inline constexpr char kMainWindowCaption[] = "Velmora Cleaner";
inline constexpr int kMainClientWidth = 334;
inline constexpr int kMainClientHeight = 338;

class TForm1 : public RunView {
 public:
  // Creates the window hidden, then runs FormCreate (start-up) inside the error handler.
  // Start-up runs also when no window can be made (no desktop), so that an unattended run
  // does its work; only run mode 0, which needs the window, then ends with an error.
  TForm1(CleanerState& state, Effects& effects, Reporter& reporter, Trace& trace,
         EngineEntryPoints entryPoints);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  HWND Handle() const { return window_.Get(); }
  CleanerContext& Context() { return context_; }
  // Shows the window, centred on the screen the first time, with the focus on Start.
  void Show();
  // True once the window was closed; the quit message is then on its way.
  bool Closed() const { return closed_; }

  // Event handlers; each reads the controls, not arguments.
  void FormCreate();
  void BitBtn1Click();
  void BitBtn2Click();
  void DirectoryEdit1Change();
  void DirectoryEdit2Change();
  void CheckBox2Click();
  void FormClose();

  // RunView; each does nothing when the window could not be made.
  void SetGaugeRange(int minimum, int maximum) override;
  void SetGaugeProgress(int progress) override;
  void SetStatusText(const std::string& text) override;
  void ShowStartupChoices(const CleanerState& state) override;
  void DeletionRefused() override;

  // What Start would run with now: the switches and folders as the controls show them.
  RunOptions OptionsFromControls() const;

  // The controls by their ids. Setting CheckBox2 runs its click handler, setting a folder
  // field's text its change handler, as a user's change does.
  std::string FolderText(FolderFieldId field) const;
  void SetFolderText(FolderFieldId field, const std::string& text);
  bool IsChecked(CheckBoxId box) const;
  void SetChecked(CheckBoxId box, bool checked);
  bool IsEnabled(CheckBoxId box) const;
  void SetEnabled(CheckBoxId box, bool enabled);
  std::string Caption(CheckBoxId box) const;
  void SetHint(CheckBoxId box, const std::string& hint);

  // The controls by their layout names.
  HWND BitBtn1() const { return bitBtn1_; }
  HWND BitBtn2() const { return bitBtn2_; }
  HWND StaticText1() const { return staticText_[0]; }
  HWND StaticText2() const { return staticText_[1]; }
  HWND StaticText3() const { return staticText_[2]; }
  HWND Panel1() const { return panel_->Handle(); }
  HWND CheckBox(CheckBoxId box) const { return checkBox_[Index(box)]; }
  FolderField& DirectoryEdit1() const { return *folderField_[0]; }
  FolderField& DirectoryEdit2() const { return *folderField_[1]; }
  PieGauge& Gauge1() const { return *gauge_; }
  HWND StatusBar1() const { return statusBar_ ? statusBar_->Handle() : nullptr; }
  // Made the first time it is asked for or a hint is set.
  HWND HintWindow();

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CleanerContext* GuardContext() { return &context_; }

 private:
  static int Index(CheckBoxId box) { return static_cast<int>(box); }
  // Each control's place and font as laid out for 96 dots per inch, scaled to the window's.
  enum class LayoutFont { None, Window, Bold, CheckBox };
  struct Placed {
    HWND window;
    RECT bounds;
    LayoutFont font;
  };
  void MakeFonts();
  RECT Scaled(const RECT& bounds) const;
  HGDIOBJ FontOf(LayoutFont font) const;
  HWND Place(HWND child, const RECT& bounds, LayoutFont font);
  HWND MakeControl(HWND parent, const char* className, const char* text, DWORD style, const RECT& bounds, int id,
                   LayoutFont font);
  void SetStatusParts();
  void ApplyDpi(UINT dpi, const RECT& frame);
  FolderField& Field(FolderFieldId field) const { return *folderField_[static_cast<int>(field)]; }
  void CreateControls();
  void CreateHintWindow();
  void Command(WPARAM wParam, LPARAM lParam);
  void StartPressed();
  void CheckBox2MayHaveChanged();
  void RequestClose();
  void RememberFocus();
  void RestoreFocus();

  CleanerContext context_;
  unsigned long creationError_ = 0;  // why the window could not be made, when it could not
  EngineEntryPoints entryPoints_;
  UINT dpi_ = 96;
  std::vector<Placed> layout_;
  UniqueGdiObject windowFont_;
  UniqueGdiObject boldFont_;
  UniqueGdiObject checkBoxFont_;
  UniqueWindow window_;
  HWND bitBtn1_ = nullptr;
  HWND bitBtn2_ = nullptr;
  HWND staticText_[3] = {};
  HWND checkBox_[3] = {};
  std::unique_ptr<StatusBar> statusBar_;
  HWND hintWindow_ = nullptr;  // owned by the main window, destroyed with it
  std::unique_ptr<Panel> panel_;
  std::unique_ptr<FolderField> folderField_[2];
  std::unique_ptr<PieGauge> gauge_;
  std::string hint_[3];
  bool checkBox2Seen_ = false;
  HWND savedFocus_ = nullptr;
  bool closePending_ = false;
  bool closed_ = false;
};

// The program's message loop: Tab, Enter and Escape go through the dialog manager for the
// given window. Returns the exit code of the quit message.
int RunMessageLoop(HWND dialogWindow);
