#pragma once
// A plain visible top-level window for tests of modality, activation and mouse capture.
#include <windows.h>

#include <atomic>

#include "platform/handles.h"

class TestWindow {
 public:
  explicit TestWindow(const char* title = "Test window", bool visible = true);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND Get() const { return window_.Get(); }
  // How many WM_CANCELMODE messages the window received.
  int CancelModeCount() const { return cancelModes_.load(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::atomic<int> cancelModes_{0};
  UniqueWindow window_;
};

// Serves the calling thread's queue until it is empty.
void PumpMessages();
