#include <windows.h>

#include "ui/error_handler.h"
#include "ui/info_window.h"
#include "ui/window_class.h"

namespace {

constexpr int kFontHeight = 11;
constexpr char kFontName[] = "MS Sans Serif";
constexpr char kLineBreak[] = "\r\n";

void RegisterInfoWindowClass(WNDPROC procedure) {
  RegisterWindowClassOnce(kInfoWindowClass, procedure, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

}  // namespace

TForm2::TForm2(CleanerContext* context) : context_(context) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterInfoWindowClass(WindowProc);
  font_.Reset(CreateFontA(-kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                          kFontName));
  window_.Reset(CreateWindowExA(0, kInfoWindowClass, kInfoWindowCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, kInfoWindowWidth, kInfoWindowHeight, nullptr, nullptr, instance,
                                this));
  if (!window_) return;
  RECT client{};
  GetClientRect(window_.Get(), &client);
  memo_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                              ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                          0, 0, client.right, client.bottom, window_.Get(), nullptr, instance, nullptr);
  if (!memo_) return;
  SendMessageA(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  // The list grows for the whole program; lift the edit control's default 32K limit.
  SendMessageA(memo_, EM_SETLIMITTEXT, 0, 0);
}

TForm2::~TForm2() {
  if (window_) SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, 0);
}

void TForm2::AddLine(const std::string& line) {
  AppendToMemo(line);
  Show();
}

void TForm2::AppendToMemo(const std::string& line) {
  if (!memo_) return;
  // Only positions are asked of the control: the text itself belongs to the user.
  const int length = GetWindowTextLengthA(memo_);
  bool afterBreak = true;
  if (length > 0) {
    const auto lastLine = SendMessageA(memo_, EM_GETLINECOUNT, 0, 0) - 1;
    const auto lastLineStart = SendMessageA(memo_, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    afterBreak = SendMessageA(memo_, EM_LINELENGTH, static_cast<WPARAM>(lastLineStart), 0) == 0;
  }
  const std::string insertion = afterBreak ? line + kLineBreak : kLineBreak + line;
  SendMessageA(memo_, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageA(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(insertion.c_str()));
}

void TForm2::Show() {
  if (!window_ || Visible()) return;
  if (!shownBefore_) {
    RECT outer{};
    GetWindowRect(window_.Get(), &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(window_.Get(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    shownBefore_ = true;
  }
  ShowWindow(window_.Get(), SW_SHOW);
  SetForegroundWindow(window_.Get());
}

bool TForm2::Visible() const { return window_ && IsWindowVisible(window_.Get()); }

LRESULT CALLBACK TForm2::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TForm2*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!form) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  Guarded(form->context_, [&] { result = form->OnMessage(window, message, wParam, lParam); });
  return result;
}

LRESULT TForm2::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (memo_) MoveWindow(memo_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (memo_) SetFocus(memo_);
      return 0;
    case WM_CLOSE:
      ShowWindow(window, SW_HIDE);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
