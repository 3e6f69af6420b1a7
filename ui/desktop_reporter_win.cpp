#include <windows.h>

#include "ui/desktop_reporter.h"
#include "ui/info_window.h"
#include "ui/messages.h"

void DesktopReporter::ShowInfo(const std::string& line) {
  if (infoWindow_) infoWindow_->AddLine(line);
}

void DesktopReporter::SimpleMessage(const std::string& text) { ShowSimpleMessage(text); }

bool DesktopReporter::Confirm(const std::string& text) { return ConfirmYesNo(confirmationOwner_, text); }
