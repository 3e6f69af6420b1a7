#pragma once
// The reporter of the desktop program: the information window, the simple message and
// the "Confirm File Delete" box.
#include <windows.h>

#include <string>

#include "engine/reporter.h"

class TForm2;

class DesktopReporter : public Reporter {
 public:
  // The information window exists only in run mode 0; until one is given, ShowInfo does nothing.
  explicit DesktopReporter(TForm2* infoWindow = nullptr) : infoWindow_(infoWindow) {}
  void SetInfoWindow(TForm2* infoWindow) { infoWindow_ = infoWindow; }
  // The window that owns the deletion question: the main window, disabled while it is open.
  void SetConfirmationOwner(HWND owner) { confirmationOwner_ = owner; }

  void ShowInfo(const std::string& line) override;
  void SimpleMessage(const std::string& text) override;
  bool Confirm(const std::string& text) override;

 private:
  TForm2* infoWindow_;
  HWND confirmationOwner_ = nullptr;
};
