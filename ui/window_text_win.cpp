#include <windows.h>

#include "ui/window_text.h"

#include <vector>

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, buffer.data(), length + 1);
  return std::string(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}
