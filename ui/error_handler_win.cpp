#include <windows.h>

#include "engine/cleaner_context.h"
#include "platform/app_title.h"
#include "ui/application_window.h"
#include "ui/error_handler.h"
#include "ui/modal_scope.h"

void HandleError(CleanerContext* context, const std::exception& error) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  const std::string message = WithFullStop(error.what());
  if (context) {
    context->outcome.errorShown = true;
    // The log keeps what the box said: nobody may be there to read the box.
    TraceIfOn(*context, message);
  }
  const std::string title = ApplicationTitle();
  const HWND owner = ApplicationWindow();
  ModalScope modal(owner);
  MessageBoxA(owner, message.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
}
