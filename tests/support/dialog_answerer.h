#pragma once
// Answers modal boxes for tests, so that no test waits on a person or on a fixed delay.
//
// In-process: construct a DialogAnswerer before the code that opens a box. A background
// thread scans the top-level windows of this process every few milliseconds; every new
// visible window of class "#32770" (the platform message box) or of the program's simple
// message class is described in a DialogRecord (caption, the text of control 0xFFFF, its
// controls, styles, placement, owner), handed to the inspector if one is set (while the
// box is still open, on the answerer's thread), and then answered with the next answer of
// the list (the last one repeats). When the code under test has returned, Dialogs()
// holds every box that was answered, in order:
//
//   DialogAnswerer answerer(IDNO);
//   EXPECT_FALSE(ConfirmYesNo("Delete?"));
//   ASSERT_EQ(answerer.Dialogs().size(), 1u);
//   EXPECT_EQ(answerer.Dialogs()[0].caption, "Confirm File Delete");
//
// Out-of-process: AnswerDialogsOfProcess does the same for the windows of another process
// (for example Cleaner.exe started by an end-to-end test) until that process has ended,
// or until maxDialogs boxes were answered, or the time limit ran out.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"

struct DialogAnswer {
  enum class Kind { Button, Key, CloseBox };
  Kind kind = Kind::Button;
  int value = IDOK;  // the button id, or the virtual key

  // WM_COMMAND with the button's id, as a click on it sends.
  static DialogAnswer Press(int buttonId) { return {Kind::Button, buttonId}; }
  // WM_KEYDOWN and WM_KEYUP posted to the box's focused control (VK_RETURN, VK_ESCAPE).
  static DialogAnswer Key(int virtualKey) { return {Kind::Key, virtualKey}; }
  // The close box: WM_SYSCOMMAND SC_CLOSE.
  static DialogAnswer Close() { return {Kind::CloseBox, 0}; }
};

inline constexpr int kMaxAnswers = 4;

inline void PrintTo(const DialogAnswer& answer, std::ostream* out) {
  static const char* const kinds[] = {"Press", "Key", "Close"};
  *out << kinds[static_cast<int>(answer.kind)] << "(" << answer.value << ")";
}

struct DialogControl {
  int id = 0;
  std::string className;
  std::string text;
  LONG style = 0;
  RECT rect{};  // in the box's client coordinates
  HICON icon = nullptr;  // STM_GETICON of an icon static (meaningful in-process only)
};

struct DialogRecord {
  HWND window = nullptr;
  std::string className;
  std::string caption;
  std::string text;  // the text of control 0xFFFF
  LONG style = 0;
  LONG exStyle = 0;
  HWND owner = nullptr;
  RECT windowRect{};  // screen coordinates
  RECT clientRect{};  // size of the client area
  int defaultId = 0;  // from DM_GETDEFID, 0 when the box names none
  // How often the answer was given: more than 1 when the box outlived its answer. After
  // kMaxAnswers the box is sent WM_CLOSE instead, so that a wrong answer fails a test
  // rather than hanging it.
  int answersGiven = 0;
  bool forcedClose = false;
  std::vector<DialogControl> controls;

  const DialogControl* Control(int id) const;
  bool HasButton(int id) const;
  // The icon shown by the box, if any.
  HICON Icon() const;
};

using DialogInspector = std::function<void(const DialogRecord&)>;

class DialogAnswerer {
 public:
  explicit DialogAnswerer(int buttonId = IDOK);
  // Answers in order; the last one answers every further box.
  explicit DialogAnswerer(std::vector<DialogAnswer> answers, DialogInspector inspector = {});
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  std::vector<DialogRecord> Dialogs() const;

 private:
  void Run();

  std::vector<DialogAnswer> answers_;
  DialogInspector inspector_;
  mutable std::mutex mutex_;
  std::vector<DialogRecord> records_;
  UniqueKernelHandle stop_;
  std::thread thread_;
};

// Answers the boxes of another process; returns what it answered.
std::vector<DialogRecord> AnswerDialogsOfProcess(DWORD processId, std::vector<DialogAnswer> answers,
                                                 std::size_t maxDialogs = static_cast<std::size_t>(-1),
                                                 DWORD timeoutMilliseconds = 120000);

// True for a window of the given process that the answerer treats as a box.
bool IsAnswerableDialog(HWND window, DWORD processId);
