#pragma once
// Shared by the window tests: pixels read back from DCs, messages pumped the way the
// program's loop does, keys pressed through the system's input queue.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A top-down 32-bit copy of part of a DC, read pixel by pixel.
class PixelGrab {
 public:
  PixelGrab(HDC source, int left, int top, int width, int height);
  COLORREF At(int x, int y) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Writes the picture as a 24-bit BMP file.
  void SaveBmp(const std::string& path) const;

 private:
  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB
};

// A picture drawn by the callback into a fresh 32-bit DIB of the size.
PixelGrab DrawnPicture(int width, int height, const std::function<void(HDC)>& draw);

// Dispatches every pending message; with a dialog window, through IsDialogMessage first.
void ServeMessages(HWND dialogWindow = nullptr);
// Pumps for the time, so that timers and posted messages arrive.
void ServeMessagesFor(DWORD milliseconds, HWND dialogWindow = nullptr);
// Presses and releases a key through SendInput (Alt held when asked), then pumps.
void PressKey(WORD virtualKey, HWND dialogWindow, bool withAlt = false);

// A window's rectangle in the client coordinates of another window.
RECT RectIn(HWND window, HWND reference);

// A visible top-level window to host controls under test; destroyed at scope end.
class HostWindow {
 public:
  HostWindow(int width, int height, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler = {});
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler_;
};

inline bool SameColour(COLORREF a, COLORREF b) { return a == b; }
std::string ColourText(COLORREF colour);
