#include <windows.h>

#include "platform/handles.h"
#include "platform/text/app_title.h"
#include "ui/application_window.h"
#include "ui/messages.h"
#include "ui/modal_scope.h"
#include "ui/simple_message_layout.h"
#include "ui/window_class.h"

namespace {

constexpr char kConfirmCaption[] = "Confirm File Delete";
constexpr char kOkCaption[] = "OK";
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
constexpr UINT kTextFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

struct DialogState {
  bool done = false;
};

LRESULT CALLBACK SimpleMessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        if (state) state->done = true;
        return 0;
      }
      break;
    case WM_CLOSE:
      if (state) state->done = true;
      return 0;
    case WM_DESTROY:
      if (state) state->done = true;
      break;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterSimpleMessageClass() {
  RegisterWindowClassOnce(kSimpleMessageClass, SimpleMessageProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

UniqueGdiObject CreateMessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
    // Systems before Vista know the structure without its last member.
    metrics.cbSize = sizeof metrics - sizeof metrics.iPaddedBorderWidth;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return {};
  }
  return UniqueGdiObject(CreateFontIndirectA(&metrics.lfMessageFont));
}

SimpleMessageMeasures Measure(HFONT font, const std::string& text, int screenWidth) {
  WindowDc screen(nullptr);
  SelectedObject selected(screen.Get(), font ? font : GetStockObject(SYSTEM_FONT));
  SimpleMessageMeasures measures;
  SIZE size{};
  GetTextExtentPoint32A(screen.Get(), kDialogUnitLetters.data(), static_cast<int>(kDialogUnitLetters.size()),
                        &size);
  measures.lettersWidth = size.cx;
  measures.lettersHeight = size.cy;
  RECT textRect{0, 0, SimpleMessageTextLimit(screenWidth), 0};
  DrawTextA(screen.Get(), text.c_str(), static_cast<int>(text.size()), &textRect, DT_CALCRECT | kTextFormat);
  measures.textWidth = textRect.right - textRect.left;
  measures.textHeight = textRect.bottom - textRect.top;
  GetTextExtentPoint32A(screen.Get(), kOkCaption, static_cast<int>(sizeof kOkCaption - 1), &size);
  measures.buttonCaptionWidth = size.cx;
  return measures;
}

HWND AddChild(HWND parent, const char* className, const char* text, DWORD style, int id, const PixelBox& box,
              HFONT font) {
  HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top, box.width,
                               box.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
  if (child && font) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void RunModalLoop(HWND dialog, const DialogState& state) {
  MSG message;
  while (!state.done && IsWindow(dialog)) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      // Leave the quit request for the program's own loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (got == -1) return;
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

}  // namespace

void ShowSimpleMessage(const std::string& text) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterSimpleMessageClass();

  const UniqueGdiObject font = CreateMessageFont();
  const HFONT messageFont = static_cast<HFONT>(font.Get());
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const SimpleMessageLayout layout = LayoutSimpleMessage(Measure(messageFont, text, screenWidth));

  RECT outer{0, 0, layout.clientWidth, layout.clientHeight};
  AdjustWindowRectEx(&outer, kDialogStyle, FALSE, kDialogExStyle);
  const PixelBox place =
      CentreOnScreen(outer.right - outer.left, outer.bottom - outer.top, screenWidth, screenHeight);

  DialogState state;
  const std::string title = ApplicationTitle();
  const UniqueWindow dialog(CreateWindowExA(kDialogExStyle, kSimpleMessageClass, title.c_str(), kDialogStyle,
                                            place.left, place.top, place.width, place.height,
                                            ApplicationWindow(), nullptr, instance, &state));
  if (!dialog) return;
  AddChild(dialog.Get(), "STATIC", text.c_str(), SS_LEFT | SS_NOPREFIX, kSimpleMessageTextId, layout.text,
           messageFont);
  HWND ok = AddChild(dialog.Get(), "BUTTON", kOkCaption, WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, layout.button,
                     messageFont);

  const ModalScope modal(dialog.Get());
  ShowWindow(dialog.Get(), SW_SHOWNORMAL);
  SetForegroundWindow(dialog.Get());
  if (ok) SetFocus(ok);
  RunModalLoop(dialog.Get(), state);
}

bool ConfirmYesNo(HWND owner, const std::string& text) {
  // Only a Yes deletes: No, a box closed with Escape or its close box, and a box that could
  // not be shown at all (0) all keep the files.
  return MessageBoxA(owner, text.c_str(), kConfirmCaption, MB_YESNO) == IDYES;
}
