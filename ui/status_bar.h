#pragma once
// The main window's status bar: sunken panels along the bottom edge, each with one line of
// text. It answers the common controls' status bar messages (SB_SETPARTS, SB_GETPARTS,
// SB_SETTEXTA, SB_GETTEXTA, SB_GETTEXTLENGTHA) and WM_SETFONT / WM_GETFONT, so that callers
// and tools talk to it as to that control; drawn here, it spares every start the loading of
// the common controls' library, which the window would need for nothing else.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/handles.h"

struct CleanerContext;

class StatusBar {
 public:
  StatusBar(HWND parent, int id, const RECT& bounds, CleanerContext* context);
  StatusBar(const StatusBar&) = delete;
  StatusBar& operator=(const StatusBar&) = delete;

  HWND Handle() const { return window_.Get(); }

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CleanerContext* GuardContext() const { return context_; }

 private:
  struct Part {
    int end = -1;  // the right edge in client pixels; -1 reaches the window's right edge
    std::string text;
    WORD kind = 0;  // SBT_NOBORDERS, SBT_POPOUT, ... as the text was set with
  };
  LRESULT TextAnswer(const Part& part) const;
  void Paint(HWND window);

  CleanerContext* context_;
  std::vector<Part> parts_{Part{}};
  HFONT font_ = nullptr;  // set by WM_SETFONT, not owned
  UniqueGdiObject ownFont_;  // the system's status font, used until one is set
  UniqueWindow window_;
};
