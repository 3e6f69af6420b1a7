#include <windows.h>

#include "report/desktop_reporter.h"
#include "report/info_window.h"
#include "report/messages.h"

void DesktopReporter::ShowInfo(const std::string& line) {
  if (infoWindow_) infoWindow_->AddLine(line);
}

void DesktopReporter::SimpleMessage(const std::string& text) { ShowSimpleMessage(text); }

bool DesktopReporter::Confirm(const std::string& text) { return ConfirmYesNo(text); }
