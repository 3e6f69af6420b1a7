#include "tests/support/ui_test_support.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>

namespace {

HBITMAP MakeDib(HDC reference, int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(reference, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

std::vector<std::uint32_t> CopyBits(const void* bits, int width, int height) {
  const auto* words = static_cast<const std::uint32_t*>(bits);
  return std::vector<std::uint32_t>(words, words + static_cast<std::size_t>(width) * height);
}

}  // namespace

PixelGrab::PixelGrab(HDC source, int left, int top, int width, int height)
    : width_(width), height_(height) {
  HDC memory = CreateCompatibleDC(source);
  void* bits = nullptr;
  HBITMAP dib = MakeDib(source, width, height, &bits);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
  GdiFlush();
  pixels_ = CopyBits(bits, width, height);
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
}

COLORREF PixelGrab::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the grab");
  const std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void PixelGrab::SaveBmp(const std::string& path) const {
  const int rowBytes = (width_ * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width_;
  info.biHeight = height_;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(rowBytes * height_);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string data(reinterpret_cast<const char*>(&file), sizeof file);
  data.append(reinterpret_cast<const char*>(&info), sizeof info);
  for (int y = height_ - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(rowBytes), '\0');
    for (int x = 0; x < width_; ++x) {
      const COLORREF c = At(x, y);
      row[x * 3] = static_cast<char>(GetBValue(c));
      row[x * 3 + 1] = static_cast<char>(GetGValue(c));
      row[x * 3 + 2] = static_cast<char>(GetRValue(c));
    }
    data += row;
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
  DWORD written = 0;
  WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(h);
}

PixelGrab DrawnPicture(int width, int height, const std::function<void(HDC)>& draw) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP dib = MakeDib(screen, width, height, &bits);
  HGDIOBJ old = SelectObject(memory, dib);
  draw(memory);
  GdiFlush();
  PixelGrab grab(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return grab;
}

void ServeMessages(HWND dialogWindow) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (dialogWindow && IsDialogMessageA(dialogWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ServeMessagesFor(DWORD milliseconds, HWND dialogWindow) {
  const DWORD start = GetTickCount();
  do {
    ServeMessages(dialogWindow);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
  ServeMessages(dialogWindow);
}

void PressKey(WORD virtualKey, HWND dialogWindow, bool withAlt) {
  std::vector<INPUT> inputs;
  const auto key = [&](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (withAlt) key(VK_MENU, false);
  key(virtualKey, false);
  key(virtualKey, true);
  if (withAlt) key(VK_MENU, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  ServeMessagesFor(50, dialogWindow);
}

RECT RectIn(HWND window, HWND reference) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

HostWindow::HostWindow(int width, int height, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler)
    : handler_(std::move(handler)) {
  static const char* className = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &HostWindow::Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "UiTestHost";
    RegisterClassA(&windowClass);
    return "UiTestHost";
  }();
  window_ = CreateWindowExA(0, className, "ui test host", WS_POPUP | WS_VISIBLE, 20, 20, width, height,
                            nullptr, nullptr, GetModuleHandleA(nullptr), this);
  SetForegroundWindow(window_);
  ServeMessages();
}

HostWindow::~HostWindow() {
  DestroyWindow(window_);
  ServeMessages();
}

LRESULT CALLBACK HostWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  }
  auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (host && host->handler_) return host->handler_(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

std::string ColourText(COLORREF colour) {
  char text[32];
  std::snprintf(text, sizeof text, "(%u,%u,%u)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}
