#include <windows.h>

#include "ui/modal_scope.h"

ModalScope::ModalScope(HWND box) : box_(box), previousActive_(GetActiveWindow()) {
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(this));
}

ModalScope::~ModalScope() {
  for (HWND window : disabled_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  if (previousActive_ && IsWindow(previousActive_)) SetActiveWindow(previousActive_);
}

BOOL CALLBACK ModalScope::DisableOne(HWND window, LPARAM self) {
  auto* scope = reinterpret_cast<ModalScope*>(self);
  if (window != scope->box_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
    scope->disabled_.push_back(window);
    EnableWindow(window, FALSE);
  }
  return TRUE;
}
