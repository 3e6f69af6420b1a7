#pragma once
// The window's layout is given for 96 dots per inch (100 %) and scaled to the dots per inch of
// the monitor a window is on; at 96 every size stays as given.
#include <windows.h>

inline constexpr UINT kLayoutDpi = 96;

// GetDpiForWindow where Windows has it (10, version 1607 on), else the screen's.
UINT WindowDpi(HWND window);
// The screen's, for what is sized before its window exists.
UINT ScreenDpi();

inline int ScaleToDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), static_cast<int>(kLayoutDpi)); }
inline RECT ScaleToDpi(const RECT& bounds, UINT dpi) {
  return RECT{ScaleToDpi(bounds.left, dpi), ScaleToDpi(bounds.top, dpi), ScaleToDpi(bounds.right, dpi),
              ScaleToDpi(bounds.bottom, dpi)};
}
