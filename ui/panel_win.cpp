#include <windows.h>

#include "ui/panel.h"

#include "ui/window_class.h"

Panel::Panel(HWND parent, const RECT& bounds, CleanerContext* context) : context_(context) {
  const char* className = RegisterWindowClassOnce(
      "VelmoraPanel", ObjectWindowProc<Panel>, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  window_.Reset(CreateWindowExA(WS_EX_CONTROLPARENT, className, "",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                nullptr, GetModuleHandleA(nullptr), this));
}

LRESULT Panel::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area{};
      GetClientRect(window, &area);
      DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return SendMessageA(GetParent(window), message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
