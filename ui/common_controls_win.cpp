#include <windows.h>

#include "ui/common_controls.h"

#include <commctrl.h>

bool InitializeCommonControlsOnce() {
  static const bool done = [] {
    using Initialize = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const HMODULE library = LoadLibraryW(L"comctl32.dll");  // kept loaded for the process's life
    const auto initialize = reinterpret_cast<Initialize>(
        reinterpret_cast<void (*)()>(library ? GetProcAddress(library, "InitCommonControlsEx") : nullptr));
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES};
    return initialize != nullptr && initialize(&controls) != FALSE;
  }();
  return done;
}
