#include <windows.h>

#include "ui/main_window.h"

#include <commctrl.h>

#include <utility>
#include <vector>

#include "engine/trace.h"
#include "platform/errors.h"
#include "platform/processes/process_services.h"
#include "platform/system_error.h"
#include "ui/application_window.h"
#include "ui/common_controls.h"
#include "ui/dpi.h"
#include "ui/folder_browser.h"
#include "ui/window_class.h"
#include "ui/window_text.h"

namespace {

enum ControlId : int {
  kBitBtn1Id = 101,  // none may be IDOK or IDCANCEL: the dialog manager sends those for Enter and Escape
  kBitBtn2Id,
  kStaticText1Id,
  kDirectoryEdit1Id,
  kDirectoryEdit2Id,
  kStaticText2Id,
  kStaticText3Id,
  kCheckBox2Id,
  kCheckBox3Id,
  kCheckBox1Id,
  kGauge1Id,
  kStatusBar1Id,
};

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER | WS_CLIPCHILDREN;
constexpr int kStatusFirstPanelEnd = 150;
constexpr int kHintInitialDelay = 500;
constexpr int kHintAutoPopDelay = 2500;

RECT Bounds(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

HFONT MakeFont(const char* face, int characterHeight, int weight, BYTE charset, UINT dpi) {
  // Drawn without smoothing, as the bitmap fonts of the platform the layout was made for are:
  // the gauge text must invert exactly the pixels under it.
  return CreateFontA(-ScaleToDpi(characterHeight, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE, charset,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// bounds as placed, already scaled.
HWND MakeChild(HWND parent, const char* className, const char* text, DWORD style, const RECT& bounds,
               int id, HGDIOBJ font) {
  HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, bounds.left,
                               bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
  if (font) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace

TForm1::TForm1(CleanerState& state, Effects& effects, Reporter& reporter, Trace& trace,
               EngineEntryPoints entryPoints)
    : context_{state, *this, effects, reporter, trace}, entryPoints_(std::move(entryPoints)) {
  dpi_ = ScreenDpi();
  MakeFonts();

  const char* className = RegisterWindowClassOnce("TForm1", ObjectWindowProc<TForm1>,
                                                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RECT frame = Scaled(RECT{0, 0, kMainClientWidth, kMainClientHeight});
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  // Made where it is shown, centred on the screen: moving it before showing it would cost
  // the start another round trip to the display.
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  window_.Reset(CreateWindowExA(0, className, kMainWindowCaption, kWindowStyle,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                                width, height, nullptr, nullptr, GetModuleHandleA(nullptr), this));
  if (window_) {
    SendMessageA(window_.Get(), WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.Get()), FALSE);
    CreateControls();
  } else {
    creationError_ = GetLastError();
  }
  Guarded(&context_, [this] { FormCreate(); });
}

TForm1::~TForm1() {
  statusBar_.reset();
  gauge_.reset();
  folderField_[1].reset();
  folderField_[0].reset();
  panel_.reset();
  window_.Reset();
}

void TForm1::MakeFonts() {
  windowFont_.Reset(MakeFont("MS Sans Serif", 11, FW_NORMAL, DEFAULT_CHARSET, dpi_));
  boldFont_.Reset(MakeFont("MS Sans Serif", 11, FW_BOLD, DEFAULT_CHARSET, dpi_));
  checkBoxFont_.Reset(MakeFont("Courier", 13, FW_NORMAL, RUSSIAN_CHARSET, dpi_));
}

RECT TForm1::Scaled(const RECT& bounds) const { return ScaleToDpi(bounds, dpi_); }

HGDIOBJ TForm1::FontOf(LayoutFont font) const {
  switch (font) {
    case LayoutFont::Window: return windowFont_.Get();
    case LayoutFont::Bold: return boldFont_.Get();
    case LayoutFont::CheckBox: return checkBoxFont_.Get();
    case LayoutFont::None: break;
  }
  return nullptr;
}

HWND TForm1::Place(HWND child, const RECT& bounds, LayoutFont font) {
  layout_.push_back({child, bounds, font});
  if (HGDIOBJ object = FontOf(font)) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(object), FALSE);
  return child;
}

HWND TForm1::MakeControl(HWND parent, const char* className, const char* text, DWORD style, const RECT& bounds,
                         int id, LayoutFont font) {
  return Place(MakeChild(parent, className, text, style, Scaled(bounds), id, nullptr), bounds, font);
}

void TForm1::SetStatusParts() {
  const int panelEnds[2] = {ScaleToDpi(kStatusFirstPanelEnd, dpi_), -1};
  SendMessageA(StatusBar1(), SB_SETPARTS, 2, reinterpret_cast<LPARAM>(panelEnds));
}

void TForm1::CreateControls() {
  HWND form = window_.Get();
  // Children are created in tab order: the dialog manager walks them in creation order.
  bitBtn1_ = MakeControl(form, "BUTTON", "Start", BS_PUSHBUTTON | WS_TABSTOP, Bounds(199, 216, 75, 25), kBitBtn1Id,
                         LayoutFont::Window);
  bitBtn2_ = MakeControl(form, "BUTTON", "Exit", BS_PUSHBUTTON | WS_TABSTOP, Bounds(199, 256, 75, 25), kBitBtn2Id,
                         LayoutFont::Window);
  staticText_[0] = MakeControl(form, "STATIC", "Select path to product", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               Bounds(101, 16, 132, 17), kStaticText1Id, LayoutFont::Bold);

  const auto browser = [this](const std::string& start) {
    return BrowseForFolder(ApplicationWindow(), start, &context_);
  };
  const RECT fieldBounds[2] = {Bounds(118, 40, 201, 21), Bounds(118, 72, 201, 21)};
  folderField_[0] = std::make_unique<FolderField>(form, kDirectoryEdit1Id, Scaled(fieldBounds[0]), &context_, browser);
  folderField_[1] = std::make_unique<FolderField>(form, kDirectoryEdit2Id, Scaled(fieldBounds[1]), &context_, browser);
  for (int i = 0; i < 2; ++i) {
    folderField_[i]->SetDpi(dpi_);
    Place(folderField_[i]->Handle(), fieldBounds[i], LayoutFont::Window);
  }
  folderField_[0]->SetChangeHandler([this] { DirectoryEdit1Change(); });
  folderField_[1]->SetChangeHandler([this] { DirectoryEdit2Change(); });

  staticText_[1] = MakeControl(form, "STATIC", "QRV Program files", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               Bounds(12, 40, 106, 17), kStaticText2Id, LayoutFont::Bold);
  staticText_[2] = MakeControl(form, "STATIC", "QRV Shared files", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               Bounds(12, 72, 100, 17), kStaticText3Id, LayoutFont::Bold);

  const RECT panelBounds = Bounds(15, 104, 305, 81);
  panel_ = std::make_unique<Panel>(form, Scaled(panelBounds), &context_);
  HWND panel = Place(panel_->Handle(), panelBounds, LayoutFont::None);
  checkBox_[Index(CheckBoxId::CheckBox2)] =
      MakeControl(panel, "BUTTON", kCheckBox2Caption, BS_AUTOCHECKBOX | WS_TABSTOP, Bounds(24, 32, 265, 16),
                  kCheckBox2Id, LayoutFont::CheckBox);
  checkBox_[Index(CheckBoxId::CheckBox3)] =
      MakeControl(panel, "BUTTON", kCheckBox3Caption, BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED,
                  Bounds(24, 56, 265, 17), kCheckBox3Id, LayoutFont::CheckBox);
  checkBox_[Index(CheckBoxId::CheckBox1)] =
      MakeControl(panel, "BUTTON", kCheckBox1Caption, BS_AUTOCHECKBOX | WS_TABSTOP, Bounds(24, 8, 265, 16),
                  kCheckBox1Id, LayoutFont::CheckBox);
  SendMessageA(CheckBox(CheckBoxId::CheckBox1), BM_SETCHECK, BST_CHECKED, 0);

  const RECT gaugeBounds = Bounds(60, 200, 100, 100);
  gauge_ = std::make_unique<PieGauge>(form, kGauge1Id, Scaled(gaugeBounds), &context_);
  Place(gauge_->Handle(), gaugeBounds, LayoutFont::Window);

  // Placed by hand at the bottom edge: the window is not resizable and has no size grip.
  const RECT statusBounds = Bounds(0, 319, 334, 19);
  statusBar_ = std::make_unique<StatusBar>(form, kStatusBar1Id, Scaled(statusBounds), &context_);
  Place(statusBar_->Handle(), statusBounds, LayoutFont::None);
  SetStatusParts();
  // The hint window is made when the first hint is set: most starts have none to show, and
  // under Wine every top-level window costs the start an X window.
}

// Moved to another monitor, or its scaling changed: every control, font and the frame follow.
void TForm1::ApplyDpi(UINT dpi, const RECT& frame) {
  dpi_ = dpi;
  const UniqueGdiObject oldFonts[3] = {std::move(windowFont_), std::move(boldFont_), std::move(checkBoxFont_)};
  MakeFonts();
  SendMessageA(window_.Get(), WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.Get()), FALSE);
  for (const Placed& placed : layout_) {
    const RECT bounds = Scaled(placed.bounds);
    MoveWindow(placed.window, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, TRUE);
    if (HGDIOBJ font = FontOf(placed.font)) SendMessageA(placed.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  SetStatusParts();
  for (auto& field : folderField_) field->SetDpi(dpi);
  // The tools of the hints cover the boxes where they are now.
  for (const CheckBoxId box : {CheckBoxId::CheckBox1, CheckBoxId::CheckBox2, CheckBoxId::CheckBox3}) {
    if (!hint_[Index(box)].empty()) SetHint(box, std::string(hint_[Index(box)]));
  }
  SetWindowPos(window_.Get(), nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TForm1::HintWindow() {
  if (!hintWindow_ && window_) CreateHintWindow();
  return hintWindow_;
}

void TForm1::CreateHintWindow() {
  if (!InitializeCommonControlsOnce()) return;
  hintWindow_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                window_.Get(), nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(hintWindow_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(kHintInitialDelay, 0));
  SendMessageA(hintWindow_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kHintAutoPopDelay, 0));
}

void TForm1::Show() {
  HWND form = window_.Get();
  ShowWindow(form, SW_SHOW);
  SetForegroundWindow(form);
  SetFocus(bitBtn1_);
  UpdateWindow(form);
}

// Handlers

void TForm1::FormCreate() {
  entryPoints_.startup(context_);
  if (!window_ && context_.state.RunMode == 0) {
    throw Exception(kNoMainWindowText + SystemErrorText(creationError_));
  }
}

void TForm1::BitBtn1Click() {
  // A Start that arrives while a run serves the message queue would interleave two runs.
  if (context_.runUnderWay) return;
  entryPoints_.cleaning(context_, OptionsFromControls());
}

RunOptions TForm1::OptionsFromControls() const {
  const CleanerState& state = context_.state;
  RunOptions options;
  options.endProcesses = IsChecked(CheckBoxId::CheckBox1);
  options.deleteFilesAndFolders = state.DeletePermission;
  options.deleteShortcuts =
      state.DeletePermission && IsEnabled(CheckBoxId::CheckBox3) && IsChecked(CheckBoxId::CheckBox3);
  options.programFolder = FolderText(FolderFieldId::DirectoryEdit1);
  options.sharedFolder = FolderText(FolderFieldId::DirectoryEdit2);
  options.initialProgramFolder = state.InitialProgramFolder;
  options.initialSharedFolder = state.InitialSharedFolder;
  options.backupFolder = state.BackupFolder;  // the window follows the settings file
  return options;
}

void TForm1::BitBtn2Click() { RequestClose(); }

void TForm1::DirectoryEdit1Change() { context_.state.ProgramFolder = DirectoryEdit1().Text(); }

void TForm1::DirectoryEdit2Change() { context_.state.SharedFolder = DirectoryEdit2().Text(); }

void TForm1::CheckBox2Click() {
  const bool checked = IsChecked(CheckBoxId::CheckBox2);
  context_.state.DeletePermission = checked;
  SetEnabled(CheckBoxId::CheckBox3, checked);
}

void TForm1::FormClose() {
  if (context_.state.TraceLogOn) context_.trace.Close();
}

// The engine's view

void TForm1::SetGaugeRange(int minimum, int maximum) {
  if (gauge_) gauge_->SetRange(minimum, maximum);
}

void TForm1::SetGaugeProgress(int progress) {
  if (gauge_) gauge_->SetProgress(progress);
}

void TForm1::SetStatusText(const std::string& text) {
  if (!window_) return;
  SendMessageA(StatusBar1(), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TForm1::ShowStartupChoices(const CleanerState& state) {
  if (!window_) return;
  if (!state.StartMenuFolder.empty()) {
    SetHint(CheckBoxId::CheckBox3, Caption(CheckBoxId::CheckBox3) + " - " + state.StartMenuFolder);
  }
  // The change handlers copy the texts into ProgramFolder and SharedFolder.
  SetFolderText(FolderFieldId::DirectoryEdit1, state.ProgramFolder);
  SetFolderText(FolderFieldId::DirectoryEdit2, state.SharedFolder);
  if (state.DeletePermission) SetChecked(CheckBoxId::CheckBox2, true);
  // Checked but disabled unless deletion is on: links go only together with files.
  if (state.OptDelLink) SetChecked(CheckBoxId::CheckBox3, true);
  SetChecked(CheckBoxId::CheckBox1, state.OptKillProcess);
}

void TForm1::DeletionRefused() {
  if (window_) SetChecked(CheckBoxId::CheckBox2, false);
}

// The controls

std::string TForm1::FolderText(FolderFieldId field) const { return Field(field).Text(); }

void TForm1::SetFolderText(FolderFieldId field, const std::string& text) { Field(field).SetText(text); }

bool TForm1::IsChecked(CheckBoxId box) const {
  return SendMessageA(CheckBox(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::SetChecked(CheckBoxId box, bool checked) {
  SendMessageA(CheckBox(box), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (box == CheckBoxId::CheckBox2) CheckBox2MayHaveChanged();
}

bool TForm1::IsEnabled(CheckBoxId box) const { return IsWindowEnabled(CheckBox(box)) != 0; }

void TForm1::SetEnabled(CheckBoxId box, bool enabled) { EnableWindow(CheckBox(box), enabled); }

std::string TForm1::Caption(CheckBoxId box) const { return WindowText(CheckBox(box)); }

void TForm1::SetHint(CheckBoxId box, const std::string& hint) {
  // Two tools per box: the box itself while it is enabled, and its place on the panel,
  // which receives the mouse while the box is disabled.
  HWND boxWindow = CheckBox(box);
  TTTOOLINFOA tools[2]{};
  for (auto& tool : tools) {
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = panel_->Handle();
  }
  tools[0].uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tools[0].uId = reinterpret_cast<UINT_PTR>(boxWindow);
  tools[1].uFlags = TTF_SUBCLASS;
  tools[1].uId = static_cast<UINT_PTR>(GetDlgCtrlID(boxWindow));
  GetWindowRect(boxWindow, &tools[1].rect);
  MapWindowPoints(nullptr, panel_->Handle(), reinterpret_cast<POINT*>(&tools[1].rect), 2);
  hint_[Index(box)] = hint;
  if (hint.empty() && !hintWindow_) return;  // no tool was ever added
  HWND hints = HintWindow();
  for (auto& tool : tools) {
    SendMessageA(hints, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (hint.empty()) continue;  // an empty hint shows nothing
    tool.lpszText = hint_[Index(box)].data();
    SendMessageA(hints, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

// Messages

void TForm1::CheckBox2MayHaveChanged() {
  const bool checked = IsChecked(CheckBoxId::CheckBox2);
  if (checked == checkBox2Seen_) return;
  checkBox2Seen_ = checked;
  CheckBox2Click();
}

void TForm1::StartPressed() {
  Guarded(&context_, [this] { BitBtn1Click(); });
  if (closePending_ && !context_.runUnderWay) RequestClose();
}

void TForm1::RequestClose() {
  if (context_.runUnderWay) {  // carried out when the run has ended
    closePending_ = true;
    return;
  }
  closePending_ = false;
  FormClose();
  closed_ = true;
  ShowWindow(window_.Get(), SW_HIDE);
  PostQuitMessage(0);
}

void TForm1::Command(WPARAM wParam, LPARAM lParam) {
  for (auto& field : folderField_) {
    if (field && field->HandleCommand(wParam, lParam)) return;
  }
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (id == IDOK && code == BN_CLICKED) {
    // Enter, offered by the dialog manager: it clicks a focused push button and nothing else.
    HWND focus = GetFocus();
    if (focus == bitBtn1_) StartPressed();
    if (focus == bitBtn2_) BitBtn2Click();
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case kBitBtn1Id: StartPressed(); break;
    case kBitBtn2Id: BitBtn2Click(); break;
    case kCheckBox2Id: CheckBox2MayHaveChanged(); break;
    default: break;  // IDCANCEL (Escape) included
  }
}

void TForm1::RememberFocus() {
  HWND focus = GetFocus();
  if (focus && IsChild(window_.Get(), focus)) savedFocus_ = focus;
}

void TForm1::RestoreFocus() {
  HWND form = window_.Get();
  HWND target = savedFocus_;
  if (!target || !IsWindow(target) || !IsChild(form, target) || !IsWindowEnabled(target)) {
    target = GetNextDlgTabItem(form, nullptr, FALSE);
  }
  if (target) SetFocus(target);
}

LRESULT TForm1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(wParam, lParam);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        RememberFocus();
      } else if (!HIWORD(wParam)) {
        RestoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_CLOSE:
      RequestClose();
      return 0;
    case WM_DPICHANGED:
      ApplyDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

namespace {
HWND keyboardWindow = nullptr;

// Tab, Enter and the other dialog keys of the main window, also during the pauses of
// process termination, which serve the queue themselves.
bool HandleDialogKeys(MSG& message) {
  return keyboardWindow && IsWindow(keyboardWindow) && IsDialogMessageA(keyboardWindow, &message);
}
}  // namespace

int RunMessageLoop(HWND dialogWindow) {
  keyboardWindow = dialogWindow;
  SetMessagePreview(&HandleDialogKeys);
  MSG message{};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  SetMessagePreview(nullptr);
  keyboardWindow = nullptr;
  return static_cast<int>(message.wParam);
}
