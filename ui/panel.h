#pragma once
// A plain container with a raised single bevel. It passes its children's notifications on
// to its parent, and Tab moves through its children as if they were the parent's.
#include <windows.h>

#include "platform/handles.h"

struct CleanerContext;

class Panel {
 public:
  Panel(HWND parent, const RECT& bounds, CleanerContext* context);
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  HWND Handle() const { return window_.Get(); }

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CleanerContext* GuardContext() const { return context_; }

 private:
  CleanerContext* context_;
  UniqueWindow window_;
};
