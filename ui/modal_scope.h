#pragma once
// Makes a box modal for the whole program: while it lives, every visible and enabled
// top-level window of the calling thread except the box itself is disabled; afterwards
// they are enabled again and the window that was active before is activated again.
#include <windows.h>

#include <vector>

class ModalScope {
 public:
  explicit ModalScope(HWND box = nullptr);
  ~ModalScope();
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  static BOOL CALLBACK DisableOne(HWND window, LPARAM self);

  HWND box_;
  HWND previousActive_;
  std::vector<HWND> disabled_;
};
