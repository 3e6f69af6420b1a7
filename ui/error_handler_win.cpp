#include <windows.h>

#include "engine/cleaner_context.h"
#include "engine/run_observer.h"
#include "platform/errors.h"
#include "platform/text/app_title.h"
#include "ui/application_window.h"
#include "ui/error_handler.h"
#include "ui/modal_scope.h"

void HandleError(CleanerContext* context, const std::exception& error) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  const std::string message = WithFullStop(error.what());
  if (context) {
    context->outcome.errorShown = true;
    if (context->observer != nullptr) context->observer->ErrorShown(message);
    // The log keeps what the box said: nobody may be there to read the box. A log that
    // cannot take the line (a full disk) fails again at its close, where that is shown; here
    // it must not raise out of the handler.
    try {
      TraceIfOn(*context, message);
    } catch (const Exception&) {
    }
    if (context->state.QuietMode) return;  // the log and the exit code say it
  }
  const std::string title = ApplicationTitle();
  const HWND owner = ApplicationWindow();
  ModalScope modal(owner);
  MessageBoxA(owner, message.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
}
