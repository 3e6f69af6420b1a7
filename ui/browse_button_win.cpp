#include <windows.h>

#include "ui/browse_button.h"

#include <utility>

#include "ui/window_class.h"

BrowseButton::BrowseButton(HWND parent, CleanerContext* context, std::function<void()> pressed,
                           std::function<void()> clicked)
    : context_(context), pressed_(std::move(pressed)), clicked_(std::move(clicked)) {
  const char* className =
      RegisterWindowClassOnce("VelmoraBrowseButton", ObjectWindowProc<BrowseButton>, nullptr);
  window_.Reset(CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, kBrowseButtonWidth,
                                0, parent, nullptr, GetModuleHandleA(nullptr), this));
}

void BrowseButton::Place(const RECT& bounds) {
  MoveWindow(window_.Get(), bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top, TRUE);
}

void BrowseButton::SetDown(bool down) {
  if (down == down_) return;
  down_ = down;
  InvalidateRect(window_.Get(), nullptr, FALSE);
}

void BrowseButton::Paint(HDC dc) const {
  RECT area{};
  GetClientRect(window_.Get(), &area);
  DrawFrameControl(dc, &area, DFC_BUTTON, DFCS_BUTTONPUSH | (down_ ? DFCS_PUSHED : 0));
  const int shift = down_ ? 1 : 0;
  const int left = (area.right - kBrowseGlyphWidth) / 2 + shift;
  const int top = (area.bottom - kBrowseGlyphHeight) / 2 + shift;
  const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  for (int dotX : kBrowseDotX) {
    const RECT dot{left + dotX, top + kBrowseDotY, left + dotX + kBrowseDotSize,
                   top + kBrowseDotY + kBrowseDotSize};
    FillRect(dc, &dot, black);
  }
}

LRESULT BrowseButton::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (pressed_) pressed_();
      SetCapture(window);
      tracking_ = true;
      SetDown(true);
      return 0;
    case WM_MOUSEMOVE:
      if (tracking_) {
        RECT area{};
        GetClientRect(window, &area);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        SetDown(PtInRect(&area, point) != 0);
      }
      return 0;
    case WM_LBUTTONUP: {
      const bool click = tracking_ && down_;
      tracking_ = false;
      SetDown(false);
      ReleaseCapture();
      if (click) {
        UpdateWindow(window);
        if (clicked_) clicked_();
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      tracking_ = false;
      SetDown(false);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
