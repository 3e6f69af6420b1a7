#include "tests/support/test_window.h"

#include <windows.h>

namespace {
constexpr char kTestWindowClass[] = "CleanerTestWindow";
}

TestWindow::TestWindow(const char* title, bool visible) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  static const bool registered = [instance] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kTestWindowClass;
    return RegisterClassA(&windowClass) != 0;
  }();
  (void)registered;
  window_.Reset(CreateWindowExA(0, kTestWindowClass, title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 50, 50, 300, 200,
                                nullptr, nullptr, instance, this));
  if (visible) SetActiveWindow(window_.Get());
  PumpMessages();
}

TestWindow::~TestWindow() {
  if (window_) SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, 0);
}

LRESULT CALLBACK TestWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && message == WM_CANCELMODE) ++self->cancelModes_;
  return DefWindowProcA(window, message, wParam, lParam);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
