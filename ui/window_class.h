#pragma once
// Window classes whose procedure hands each message to a C++ object. The object is given
// as the creation parameter and found again through GWLP_USERDATA; its work runs inside
// the application's error handler, so no error crosses the window procedure.
#include <windows.h>

#include "ui/error_handler.h"

// Registers the class on first use; later calls only return the name.
const char* RegisterWindowClassOnce(const char* name, WNDPROC procedure, HBRUSH background,
                                    HCURSOR cursor = LoadCursor(nullptr, IDC_ARROW));

// T provides: LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM) and CleanerContext* GuardContext().
template <typename T>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* object = reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  Guarded(object->GuardContext(),
          [&] { result = object->HandleMessage(window, message, wParam, lParam); });
  return result;
}
