#include <windows.h>

#include "platform/handles.h"
#include "platform/text/app_title.h"
#include "ui/application_window.h"
#include "ui/window_class.h"

namespace {

constexpr char kApplicationClass[] = "VelmoraCleanerApplication";

UniqueWindow CreateApplicationWindow() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClassOnce(kApplicationClass, DefWindowProcA, nullptr, nullptr);
  const std::string title = ApplicationTitle();
  return UniqueWindow(CreateWindowExA(0, kApplicationClass, title.c_str(),
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                                      nullptr, nullptr, instance, nullptr));
}

}  // namespace

HWND ApplicationWindow() {
  static UniqueWindow window = CreateApplicationWindow();
  return window.Get();
}
