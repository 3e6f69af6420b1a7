#pragma once
// Answers a modal dialog of this thread from inside its own message loop: a thread timer
// finds the first visible "#32770" window and hands it to the script once.
#include <windows.h>

#include <functional>
#include <string>

class DialogScript {
 public:
  explicit DialogScript(std::function<void(HWND dialog)> act);
  ~DialogScript();
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;
  bool Ran() const { return ran_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  std::function<void(HWND)> act_;
  UINT_PTR timer_ = 0;
  int ticksSeen_ = 0;
  bool ran_ = false;
};

// The first visible dialog-class window of this thread, or nullptr.
HWND FindThreadDialog();
// Text of a child control of a dialog.
std::string DialogItemText(HWND dialog, int id);
