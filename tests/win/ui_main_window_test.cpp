#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/run/cleaning_run.h"
#include "engine/gateway/recording_effects.h"
#include "platform/errors.h"
#include "ui/application_window.h"
#include "report/trace_log.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/dialog_script.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/ui_test_support.h"
#include "tests/support/wine_test_support.h"
#include "ui/desktop_reporter.h"
#include "ui/main_window.h"

namespace {

bool QuitPosted() {
  MSG message;
  return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

void DropQuit() {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0));
  if (handle) GetObjectA(handle, sizeof font, &font);
  return font;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string StatusPanelText(HWND statusBar, int panel) {
  char text[256] = {};
  SendMessageA(statusBar, SB_GETTEXTA, panel, reinterpret_cast<LPARAM>(text));
  return text;
}

}  // namespace

class MainWindowTest : public ::testing::Test {
 protected:
  CleanerState state;
  RecordingEffects effects;
  RecordingReporter reporter;
  TraceLog trace;
  int startups = 0;
  int runs = 0;
  std::function<void(CleanerContext&)> startupBody;
  std::function<void(CleanerContext&)> runBody;
  RunOptions lastOptions;  // what the last Start handed the run
  std::unique_ptr<TForm1> form;

  // The stand-in for the cleaning run marks the run as under way, as the real one does.
  EngineEntryPoints Entry() {
    return EngineEntryPoints{
        [this](CleanerContext& context) {
          ++startups;
          if (startupBody) startupBody(context);
        },
        [this](CleanerContext& context, RunOptions options) {
          lastOptions = options;
          struct UnderWay {
            bool& flag;
            ~UnderWay() { flag = false; }
          } underWay{context.runUnderWay = true};
          ++runs;
          if (runBody) runBody(context);
        }};
  }

  void Create() { form = std::make_unique<TForm1>(state, effects, reporter, trace, Entry()); }
  void CreateAndShow() {
    Create();
    form->Show();
    ServeMessages(form->Handle());
  }
  HWND Box(CheckBoxId id) const { return form->CheckBox(id); }
  void Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
    ServeMessages(form->Handle());
  }

  void TearDown() override {
    form.reset();
    ServeMessages();
    DropQuit();
  }
};

TEST_F(MainWindowTest, CreatedHiddenWithCaptionFixedFrameAndClientSize) {
  Create();
  HWND window = form->Handle();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(startups, 1);  // FormCreate ran inside construction
  EXPECT_EQ(TextOf(window), "Velmora Cleaner");
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 334);
  EXPECT_EQ(client.bottom, 338);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
}

// Position and size of every control, read back from the live window, as laid out for 96
// dots per inch and scaled to dpi (rounded as MulDiv rounds).
namespace {
void ExpectLayoutAt(const TForm1& form, UINT dpi) {
  HWND window = form.Handle();
  HWND panel = form.Panel1();
  const struct {
    const char* name;
    HWND control;
    HWND reference;
    int left, top, right, bottom;
  } layout[] = {
      {"BitBtn1", form.BitBtn1(), window, 199, 216, 274, 241},
      {"BitBtn2", form.BitBtn2(), window, 199, 256, 274, 281},
      {"StaticText1", form.StaticText1(), window, 101, 16, 233, 33},
      {"DirectoryEdit1", form.DirectoryEdit1().Handle(), window, 118, 40, 319, 61},
      {"DirectoryEdit2", form.DirectoryEdit2().Handle(), window, 118, 72, 319, 93},
      {"StaticText2", form.StaticText2(), window, 12, 40, 118, 57},
      {"StaticText3", form.StaticText3(), window, 12, 72, 112, 89},
      {"Panel1", panel, window, 15, 104, 320, 185},
      {"CheckBox2", form.CheckBox(CheckBoxId::CheckBox2), panel, 24, 32, 289, 48},
      {"CheckBox3", form.CheckBox(CheckBoxId::CheckBox3), panel, 24, 56, 289, 73},
      {"CheckBox1", form.CheckBox(CheckBoxId::CheckBox1), panel, 24, 8, 289, 24},
      {"Gauge1", form.Gauge1().Handle(), window, 60, 200, 160, 300},
      {"StatusBar1", form.StatusBar1(), window, 0, 319, 334, 338},
  };
  const auto at = [dpi](int value) { return MulDiv(value, static_cast<int>(dpi), 96); };
  for (const auto& c : layout) {
    ASSERT_TRUE(IsWindow(c.control)) << c.name;
    EXPECT_EQ(GetParent(c.control), c.reference) << c.name;
    const RECT r = RectIn(c.control, c.reference);
    EXPECT_EQ(r.left, at(c.left)) << c.name << " at " << dpi;
    EXPECT_EQ(r.top, at(c.top)) << c.name << " at " << dpi;
    EXPECT_EQ(r.right, at(c.right)) << c.name << " at " << dpi;
    EXPECT_EQ(r.bottom, at(c.bottom)) << c.name << " at " << dpi;
  }
  EXPECT_EQ(FontOf(form.BitBtn1()).lfHeight, -at(11)) << dpi;
  EXPECT_EQ(FontOf(form.StaticText1()).lfHeight, -at(11)) << dpi;
  EXPECT_EQ(FontOf(form.CheckBox(CheckBoxId::CheckBox1)).lfHeight, -at(13)) << dpi;
  const RECT button = RectIn(form.DirectoryEdit1().ButtonHandle(), form.DirectoryEdit1().Handle());
  EXPECT_EQ(button.right - button.left, at(21)) << dpi;
  int panelEnds[2] = {};
  ASSERT_EQ(SendMessageA(form.StatusBar1(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(panelEnds)), 2);
  EXPECT_EQ(panelEnds[0], at(150)) << dpi;
}
}  // namespace

TEST_F(MainWindowTest, EveryControlSitsWhereTheLayoutPutsIt) {
  Create();
  ExpectLayoutAt(*form, 96);
}

// Stands for the window moved to a monitor at 150 % and back, which Windows announces to a
// per-monitor aware program with WM_DPICHANGED and the frame it suggests.
TEST_F(MainWindowTest, LayoutFontsAndFrameFollowTheDpiAndComeBackExactly) {
  Create();
  HWND window = form->Handle();
  RECT original{};
  GetWindowRect(window, &original);
  const struct {
    UINT dpi;
    RECT frame;
  } steps[] = {{144, RECT{10, 20, 10 + 520, 20 + 540}}, {96, original}};
  for (const auto& step : steps) {
    RECT suggested = step.frame;
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(step.dpi, step.dpi), reinterpret_cast<LPARAM>(&suggested));
    ExpectLayoutAt(*form, step.dpi);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_TRUE(EqualRect(&frame, &step.frame)) << step.dpi;
  }
}

TEST_F(MainWindowTest, CaptionsFontsAndInitialStates) {
  Create();
  const struct {
    HWND control;
    const char* caption;
    const char* face;
    int height;
    bool bold;
    int charset;
  } controls[] = {
      {form->BitBtn1(), "Start", "MS Sans Serif", -11, false, DEFAULT_CHARSET},
      {form->BitBtn2(), "Exit", "MS Sans Serif", -11, false, DEFAULT_CHARSET},
      {form->StaticText1(), "Select path to product", "MS Sans Serif", -11, true, DEFAULT_CHARSET},
      {form->StaticText2(), "QRV Program files", "MS Sans Serif", -11, true, DEFAULT_CHARSET},
      {form->StaticText3(), "QRV Shared files", "MS Sans Serif", -11, true, DEFAULT_CHARSET},
      {form->DirectoryEdit1().Handle(), "", "MS Sans Serif", -11, false, DEFAULT_CHARSET},
      {form->DirectoryEdit2().Handle(), "", "MS Sans Serif", -11, false, DEFAULT_CHARSET},
      {Box(CheckBoxId::CheckBox1), "Kill QRV process", "Courier", -13, false, RUSSIAN_CHARSET},
      {Box(CheckBoxId::CheckBox2), "Enable delete file and folder", "Courier", -13, false, RUSSIAN_CHARSET},
      {Box(CheckBoxId::CheckBox3), "Delete link from \"Start Menu\"", "Courier", -13, false, RUSSIAN_CHARSET},
      {form->Gauge1().Handle(), "", "MS Sans Serif", -11, false, DEFAULT_CHARSET},
  };
  for (const auto& c : controls) {
    EXPECT_EQ(TextOf(c.control), c.caption);
    const LOGFONTA font = FontOf(c.control);
    EXPECT_STREQ(font.lfFaceName, c.face) << c.caption;
    EXPECT_EQ(font.lfHeight, c.height) << c.caption;
    EXPECT_EQ(font.lfWeight >= FW_BOLD, c.bold) << c.caption;
    EXPECT_EQ(font.lfCharSet, c.charset) << c.caption;
  }
  EXPECT_TRUE(form->IsChecked(CheckBoxId::CheckBox1));
  EXPECT_FALSE(form->IsChecked(CheckBoxId::CheckBox2));
  EXPECT_FALSE(form->IsChecked(CheckBoxId::CheckBox3));
  EXPECT_TRUE(form->IsEnabled(CheckBoxId::CheckBox1));
  EXPECT_TRUE(form->IsEnabled(CheckBoxId::CheckBox2));
  EXPECT_FALSE(form->IsEnabled(CheckBoxId::CheckBox3));
  EXPECT_EQ(form->Caption(CheckBoxId::CheckBox3), "Delete link from \"Start Menu\"");
  EXPECT_EQ(form->Gauge1().Model().Minimum(), 0);
  EXPECT_EQ(form->Gauge1().Model().Maximum(), 100);
  EXPECT_EQ(form->Gauge1().Model().Progress(), 0);
  EXPECT_FALSE(GetWindowLongA(form->BitBtn1(), GWL_STYLE) & BS_DEFPUSHBUTTON);
  EXPECT_FALSE(GetWindowLongA(form->BitBtn2(), GWL_STYLE) & BS_DEFPUSHBUTTON);
}

TEST_F(MainWindowTest, StatusBarHasTwoSunkenPanelsWithoutGrip) {
  Create();
  HWND bar = form->StatusBar1();
  int ends[4] = {};
  ASSERT_EQ(SendMessageA(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(ends)), 2);
  EXPECT_EQ(ends[0], 150);
  EXPECT_EQ(ends[1], -1);
  EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & SBARS_SIZEGRIP);
  EXPECT_EQ(StatusPanelText(bar, 0), "");
  EXPECT_EQ(StatusPanelText(bar, 1), "");
  form->SetStatusText("Base records : 42");
  EXPECT_EQ(StatusPanelText(bar, 0), "Base records : 42");
  EXPECT_EQ(StatusPanelText(bar, 1), "");
  const LRESULT kind = SendMessageA(bar, SB_GETTEXTLENGTHA, 0, 0);
  EXPECT_EQ(HIWORD(kind) & (SBT_NOBORDERS | SBT_POPOUT), 0);  // sunken
  EXPECT_NE(SendMessageA(bar, WM_GETFONT, 0, 0), SendMessageA(form->BitBtn1(), WM_GETFONT, 0, 0));
}

TEST_F(MainWindowTest, ShownCentredOnceWithTheFocusOnStart) {
  CreateAndShow();
  HWND window = form->Handle();
  EXPECT_TRUE(IsWindowVisible(window));
  RECT frame{};
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
  EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);
  EXPECT_EQ(GetFocus(), form->BitBtn1());
  // A later showing keeps the place.
  SetWindowPos(window, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window, SW_HIDE);
  form->Show();
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, 10);
  EXPECT_EQ(frame.top, 20);
}

TEST_F(MainWindowTest, TabWalksTheLayoutOrderAndSkipsDisabledCheckBox3) {
  CreateAndShow();
  HWND window = form->Handle();
  const auto walk = [&] {
    std::vector<HWND> seen{GetFocus()};
    for (int i = 0; i < 7; ++i) {
      PressKey(VK_TAB, window);
      seen.push_back(GetFocus());
    }
    return seen;
  };
  const std::vector<HWND> disabled = {form->BitBtn1(), form->BitBtn2(), form->DirectoryEdit1().Handle(),
                                      form->DirectoryEdit2().Handle(), Box(CheckBoxId::CheckBox2),
                                      Box(CheckBoxId::CheckBox1), form->BitBtn1(), form->BitBtn2()};
  EXPECT_EQ(walk(), disabled);
  form->SetChecked(CheckBoxId::CheckBox2, true);
  SetFocus(form->BitBtn1());
  const std::vector<HWND> enabled = {form->BitBtn1(), form->BitBtn2(), form->DirectoryEdit1().Handle(),
                                     form->DirectoryEdit2().Handle(), Box(CheckBoxId::CheckBox2),
                                     Box(CheckBoxId::CheckBox3), Box(CheckBoxId::CheckBox1), form->BitBtn1()};
  EXPECT_EQ(walk(), enabled);
  // Shift+Tab from Start goes back round to the last check box.
  SetFocus(form->BitBtn1());
  EXPECT_EQ(GetNextDlgTabItem(window, form->BitBtn1(), TRUE), Box(CheckBoxId::CheckBox1));
}

TEST_F(MainWindowTest, CheckBox2EnablesCheckBox3AndSetsDeletePermission) {
  CreateAndShow();
  Click(Box(CheckBoxId::CheckBox2));
  EXPECT_TRUE(form->IsChecked(CheckBoxId::CheckBox2));
  EXPECT_TRUE(state.DeletePermission);
  EXPECT_TRUE(form->IsEnabled(CheckBoxId::CheckBox3));
  Click(Box(CheckBoxId::CheckBox3));
  EXPECT_TRUE(form->IsChecked(CheckBoxId::CheckBox3));
  Click(Box(CheckBoxId::CheckBox2));
  EXPECT_FALSE(state.DeletePermission);
  EXPECT_FALSE(form->IsEnabled(CheckBoxId::CheckBox3));
  EXPECT_TRUE(form->IsChecked(CheckBoxId::CheckBox3));  // the mark stays, without effect
}

TEST_F(MainWindowTest, CheckBox2HandlerRunsWhenTheProgramSetsTheState) {
  Create();  // hidden, as during start-up
  form->SetChecked(CheckBoxId::CheckBox2, true);
  EXPECT_TRUE(state.DeletePermission);
  EXPECT_TRUE(form->IsEnabled(CheckBoxId::CheckBox3));
  state.DeletePermission = false;  // a handler run would set it again
  form->SetChecked(CheckBoxId::CheckBox2, true);
  EXPECT_FALSE(state.DeletePermission);
  form->SetChecked(CheckBoxId::CheckBox2, false);
  EXPECT_FALSE(form->IsEnabled(CheckBoxId::CheckBox3));
  form->SetChecked(CheckBoxId::CheckBox1, false);
  EXPECT_FALSE(form->IsChecked(CheckBoxId::CheckBox1));
  EXPECT_FALSE(form->IsEnabled(CheckBoxId::CheckBox3));
}

TEST_F(MainWindowTest, FolderFieldsCopyTheirTextIntoTheStateOncePerRealChange) {
  startupBody = [](CleanerContext& context) {
    CleanerState shown = context.state;
    shown.ProgramFolder = "C:\\Program Files\\QRV";
    shown.SharedFolder = "C:\\Common\\QRV";
    context.view.ShowStartupChoices(shown);
  };
  Create();
  EXPECT_EQ(state.ProgramFolder, "C:\\Program Files\\QRV");  // set while hidden
  EXPECT_EQ(state.SharedFolder, "C:\\Common\\QRV");
  state.ProgramFolder = "unchanged";
  form->SetFolderText(FolderFieldId::DirectoryEdit1, "C:\\Program Files\\QRV");
  EXPECT_EQ(state.ProgramFolder, "unchanged");  // equal text: the handler did not run
  form->SetFolderText(FolderFieldId::DirectoryEdit1, "D:\\QRV");
  EXPECT_EQ(state.ProgramFolder, "D:\\QRV");
  EXPECT_EQ(form->FolderText(FolderFieldId::DirectoryEdit1), "D:\\QRV");
  EXPECT_EQ(state.SharedFolder, "C:\\Common\\QRV");
  // Each keystroke reaches the state.
  HWND edit = form->DirectoryEdit1().Handle();
  SendMessageA(edit, EM_SETSEL, 7, 7);
  SendMessageA(edit, WM_CHAR, '2', 1);
  EXPECT_EQ(state.ProgramFolder, "D:\\QRV2");
  SendMessageA(edit, WM_CHAR, VK_BACK, 1);
  EXPECT_EQ(state.ProgramFolder, "D:\\QRV");
}

TEST_F(MainWindowTest, EnterOnTheFreshlyShownWindowStartsARun) {
  CreateAndShow();
  PressKey(VK_RETURN, form->Handle());
  EXPECT_EQ(runs, 1);
  PressKey(VK_SPACE, form->Handle());
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(form->Closed());
}

TEST_F(MainWindowTest, EnterInAFolderFieldAndEscapeDoNothing) {
  CreateAndShow();
  form->SetFolderText(FolderFieldId::DirectoryEdit1, "C:\\QRV");
  SetFocus(form->DirectoryEdit1().Handle());
  PressKey(VK_RETURN, form->Handle());
  PressKey(VK_ESCAPE, form->Handle());
  SetFocus(Box(CheckBoxId::CheckBox2));
  PressKey(VK_RETURN, form->Handle());
  SetFocus(form->BitBtn1());
  PressKey(VK_ESCAPE, form->Handle());
  EXPECT_EQ(runs, 0);
  EXPECT_FALSE(form->Closed());
  EXPECT_FALSE(QuitPosted());
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(form->FolderText(FolderFieldId::DirectoryEdit1), "C:\\QRV");
  EXPECT_FALSE(form->IsChecked(CheckBoxId::CheckBox2));
}

TEST_F(MainWindowTest, EnterOnExitCloses) {
  CreateAndShow();
  SetFocus(form->BitBtn2());
  PressKey(VK_RETURN, form->Handle());
  EXPECT_TRUE(form->Closed());
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(runs, 0);
}

TEST_F(MainWindowTest, CloseBoxClosesTheTraceLogAsExitDoes) {
  for (const bool byCloseBox : {true, false}) {
    ScratchFolder folder("close");
    Create();
    form->Show();
    state.TraceLogOn = true;
    trace.Open(folder / "VC.LOG");
    trace.Write("before the close");
    ASSERT_TRUE(trace.IsOpen());
    if (byCloseBox) {
      SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
      Click(form->BitBtn2());
    }
    ServeMessages(form->Handle());
    EXPECT_FALSE(trace.IsOpen()) << byCloseBox;
    // Closed means complete on disk: the buffered line is there.
    const std::string log = ReadBytes(folder / "VC.LOG");
    EXPECT_NE(log.find("   before the close\r\n"), std::string::npos) << byCloseBox << ": " << log;
    EXPECT_TRUE(form->Closed()) << byCloseBox;
    EXPECT_FALSE(IsWindowVisible(form->Handle())) << byCloseBox;
    EXPECT_TRUE(QuitPosted()) << byCloseBox;
    DropQuit();
    form.reset();
    state.TraceLogOn = false;
  }
}

TEST_F(MainWindowTest, CloseWithoutTraceLogLeavesTheLogAlone) {
  ScratchFolder folder("notrace");
  CreateAndShow();
  trace.Open(folder / "VC.LOG");
  SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(form->Closed());
  EXPECT_TRUE(trace.IsOpen());
  trace.Close();
}

// The message queue is served inside a run (the pauses of process termination): a second
// Start is ignored there, and a close waits for the run's end.
TEST_F(MainWindowTest, StartDuringARunIsIgnoredAndACloseWaitsForItsEnd) {
  ScratchFolder folder("during");
  CreateAndShow();
  state.TraceLogOn = true;
  trace.Open(folder / "VC.LOG");
  bool closedDuringRun = true;
  bool traceOpenDuringRun = false;
  runBody = [&](CleanerContext&) {
    if (runs > 1) return;  // a second run got in
    PostMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form->BitBtn1()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(form->BitBtn1()));
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    ServeMessagesFor(100);
    closedDuringRun = form->Closed() || QuitPosted();
    traceOpenDuringRun = trace.IsOpen();
  };
  Click(form->BitBtn1());
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(closedDuringRun);
  EXPECT_TRUE(traceOpenDuringRun);
  EXPECT_TRUE(form->Closed());
  EXPECT_FALSE(trace.IsOpen());
  EXPECT_TRUE(QuitPosted());
}

TEST_F(MainWindowTest, ErrorInARunIsShownAndAWaitingCloseStillHappens) {
  CreateAndShow();
  runBody = [&](CleanerContext&) {
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    ServeMessagesFor(50);
    throw Exception("Run failed");
  };
  DialogAnswerer answerer(IDOK);
  Click(form->BitBtn1());
  const auto boxes = answerer.Dialogs();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Run failed.");
  EXPECT_EQ(boxes[0].owner, ApplicationWindow());
  EXPECT_TRUE(form->Context().outcome.errorShown);
  EXPECT_FALSE(form->Context().runUnderWay);
  EXPECT_TRUE(form->Closed());
}

TEST_F(MainWindowTest, ErrorInFormCreateIsShownAndTheWindowStillExists) {
  startupBody = [](CleanerContext&) { throw Exception("Start-up failed"); };
  DialogAnswerer answerer(IDOK);
  Create();
  const auto boxes = answerer.Dialogs();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Start-up failed.");
  ASSERT_TRUE(IsWindow(form->Handle()));
  form->Show();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(MainWindowTest, HintOfCheckBox3WithTheUsualDelays) {
  Create();
  HWND hints = form->HintWindow();
  ASSERT_TRUE(IsWindow(hints));
  EXPECT_EQ(SendMessageA(hints, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
  EXPECT_EQ(SendMessageA(hints, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 2500);
  EXPECT_EQ(SendMessageA(hints, TTM_GETTOOLCOUNT, 0, 0), 0);  // empty hint: nothing to show
  const std::string hint = "Delete link from \"Start Menu\" - C:\\Start Menu\\Programs\\QRV";
  form->SetHint(CheckBoxId::CheckBox3, hint);
  const LRESULT tools = SendMessageA(hints, TTM_GETTOOLCOUNT, 0, 0);
  EXPECT_GE(tools, 1);
  for (LRESULT i = 0; i < tools; ++i) {
    char text[256] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageA(hints, TTM_ENUMTOOLSA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(std::string(text), hint);
  }
  form->SetHint(CheckBoxId::CheckBox3, "");
  EXPECT_EQ(SendMessageA(hints, TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(MainWindowTest, GaugeFollowsTheEngineThroughTheControls) {
  Create();
  form->SetGaugeRange(0, 10000);
  for (int line = 1; line <= 10000; ++line) form->SetGaugeProgress(line);
  EXPECT_LE(form->Gauge1().RedrawCount(), 101);
  EXPECT_EQ(form->Gauge1().Model().Percentage(), 100);
  form->SetGaugeRange(0, 0);  // empty rule file
  form->SetGaugeProgress(1);
  EXPECT_EQ(form->Gauge1().Model().Percentage(), 0);
  EXPECT_EQ(form->Gauge1().Model().Progress(), 0);
}

TEST_F(MainWindowTest, AltDownInAFolderFieldOpensTheBrowserOwnedByTheApplicationWindow) {
  CreateAndShow();
  form->SetFolderText(FolderFieldId::DirectoryEdit1, "C:\\windows");
  SetFocus(form->DirectoryEdit1().Handle());
  HWND owner = nullptr;
  BOOL mainEnabled = TRUE;
  DialogScript script([&](HWND dialog) {
    owner = GetWindow(dialog, GW_OWNER);
    mainEnabled = IsWindowEnabled(form->Handle());
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  PressKey(VK_DOWN, form->Handle(), true);
  ASSERT_TRUE(script.Ran());
  EXPECT_EQ(owner, ApplicationWindow());
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(IsWindowEnabled(form->Handle()));
  EXPECT_EQ(GetFocus(), form->DirectoryEdit1().Handle());
  EXPECT_EQ(form->FolderText(FolderFieldId::DirectoryEdit1), "C:\\windows");
  EXPECT_EQ(state.ProgramFolder, "C:\\windows");
}

// After a run at 100 %, the pixels on the screen show the filled disc and the status bar
// holds the record count. Set CLEANER_SCREENSHOT to a path to keep the picture as a BMP.
TEST_F(MainWindowTest, ScreenAfterARunShowsTheFilledDiscAndTheRecordCount) {
  startupBody = [](CleanerContext& context) {
    CleanerState shown = context.state;
    shown.ProgramFolder = "C:\\Program Files\\Velmora\\QRV";
    shown.SharedFolder = "C:\\Program Files\\Common Files\\Velmora";
    shown.DeletePermission = true;
    context.view.ShowStartupChoices(shown);
    context.view.SetStatusText("Base records : 1250");
    context.view.SetGaugeRange(0, 1250);
  };
  runBody = [](CleanerContext& context) {
    for (int line = 1; line <= 1250; ++line) context.view.SetGaugeProgress(line);
  };
  CreateAndShow();
  Click(form->BitBtn1());
  ASSERT_EQ(runs, 1);
  ServeMessagesFor(200, form->Handle());
  EXPECT_EQ(StatusPanelText(form->StatusBar1(), 0), "Base records : 1250");

  RECT frame{};
  GetWindowRect(form->Handle(), &frame);
  POINT origin{0, 0};
  ClientToScreen(form->Handle(), &origin);
  HDC screen = GetDC(nullptr);
  const PixelGrab shot(screen, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
  ReleaseDC(nullptr, screen);
  const int dx = origin.x - frame.left;
  const int dy = origin.y - frame.top;
  const auto at = [&](int x, int y) { return shot.At(dx + x, dy + y); };
  // The disc of Gauge1 (60, 200, 100 x 100): navy all round, light yellow text inside.
  int navy = 0;
  for (int degrees = 0; degrees < 360; degrees += 15) {
    const double a = degrees * 3.14159265358979 / 180;
    const int x = 60 + 50 + static_cast<int>(35 * std::sin(a));
    const int y = 200 + 50 - static_cast<int>(35 * std::cos(a));
    navy += at(x, y) == RGB(0, 0, 128) ? 1 : 0;
  }
  EXPECT_EQ(navy, 24);
  int yellow = 0;
  for (int y = 240; y < 260; ++y) {
    for (int x = 90; x < 130; ++x) yellow += at(x, y) == RGB(255, 255, 127) ? 1 : 0;
  }
  EXPECT_GT(yellow, 10);
  EXPECT_EQ(at(61, 201), GetSysColor(COLOR_BTNFACE));
  if (const char* path = std::getenv("CLEANER_SCREENSHOT")) shot.SaveBmp(path);
}

void CALLBACK QuitWithThree(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(3); }

// The program's loop: keys go through the dialog manager, and the quit message ends it
// with its code once the keys before it were served.
TEST_F(MainWindowTest, MessageLoopServesTabAndEndsWithTheQuitCode) {
  CreateAndShow();
  ASSERT_EQ(GetFocus(), form->BitBtn1());
  INPUT keys[2]{};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = VK_TAB;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
  // Timer messages come after input, so the quit follows the key.
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &QuitWithThree);
  EXPECT_EQ(RunMessageLoop(form->Handle()), 3);
  KillTimer(nullptr, timer);
  EXPECT_EQ(GetFocus(), form->BitBtn2());
}

TEST_F(MainWindowTest, MessageLoopEndsWhenTheWindowIsClosed) {
  CreateAndShow();
  PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(RunMessageLoop(form->Handle()), 0);
  EXPECT_TRUE(form->Closed());
}

// The whole way from Start to deletion with the real run: a folder field changed while the
// question is open changes nothing: the run deletes the folder the question named, and the
// main window, the question's owner, stays disabled until the answer.
TEST(MainWindowRun, DeletesTheConfirmedFolderWhateverTheFieldHoldsAtTheAnswer) {
  ScratchFolder scratch("confirmed");
  const std::string found = scratch / "Found", confirmed = scratch / "Confirmed", later = scratch / "Later";
  for (const auto& folder : {found, confirmed, later}) WriteBytes(folder + "\\file.dat", "x");
  WriteRuleFile(scratch / "Do_list.dat", {"[Delete_Folder]", "%Program%", "[Delete_Folder_End]"});
  CleanerState state;
  state.RuleFilePath = scratch / "Do_list.dat";
  DesktopReporter reporter;
  TraceLog trace;
  const auto startup = [&](CleanerContext& context) {
    context.state.ProgramFolder = context.state.InitialProgramFolder = found;
    context.state.DeletePermission = context.state.OptDelete = true;
    context.state.OptKillProcess = false;
    context.view.ShowStartupChoices(context.state);
  };
  TForm1 form(state, LiveEffects::Instance(), reporter, trace, {startup, RunCleaning});
  reporter.SetConfirmationOwner(form.Handle());
  form.Show();
  form.SetFolderText(FolderFieldId::DirectoryEdit1, confirmed);

  std::atomic<int> ownerEnabled{-1};
  HWND field = form.DirectoryEdit1().Handle();
  DialogAnswerer answerer({DialogAnswer::Press(IDYES), DialogAnswer::Press(IDOK)}, [&](const DialogRecord& box) {
    if (box.caption != "Confirm File Delete") return;
    ownerEnabled = IsWindowEnabled(form.Handle()) ? 1 : 0;
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(later.c_str()));
  });
  SendMessageA(form.BitBtn1(), BM_CLICK, 0, 0);
  ServeMessages(form.Handle());

  const auto boxes = answerer.Dialogs();
  ASSERT_GE(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Do you really want to delete all files in " + confirmed + " and  ?");
  EXPECT_EQ(boxes[0].owner, form.Handle());
  EXPECT_EQ(ownerEnabled.load(), 0);
  EXPECT_EQ(state.ProgramFolder, later) << "the field did change during the question";
  EXPECT_FALSE(Exists(confirmed));
  EXPECT_TRUE(Exists(later + "\\file.dat"));
  EXPECT_TRUE(Exists(found + "\\file.dat"));
}
