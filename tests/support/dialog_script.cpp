#include "tests/support/dialog_script.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {
DialogScript* current = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (std::string(className) == "#32770" && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindThreadDialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string DialogItemText(HWND dialog, int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

DialogScript::DialogScript(std::function<void(HWND dialog)> act) : act_(std::move(act)) {
  current = this;
  timer_ = SetTimer(nullptr, 0, 50, &DialogScript::Tick);
}

DialogScript::~DialogScript() {
  if (timer_) KillTimer(nullptr, timer_);
  current = nullptr;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
  DialogScript* script = current;
  if (!script || script->ran_) return;
  HWND dialog = FindThreadDialog();
  if (!dialog) return;
  // Let the dialog finish its own start-up messages before acting on it.
  if (++script->ticksSeen_ < 3) return;
  script->ran_ = true;
  KillTimer(nullptr, script->timer_);
  script->timer_ = 0;
  script->act_(dialog);
}
