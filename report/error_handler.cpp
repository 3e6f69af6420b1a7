#include <windows.h>

#include "engine/cleaner_context.h"
#include "report/app_title.h"
#include "report/application_window.h"
#include "report/error_handler.h"
#include "report/modal_scope.h"

void HandleError(CleanerContext* context, const std::exception& error) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  if (context) context->outcome.errorShown = true;
  const std::string message = WithFullStop(error.what());
  const std::string title = ApplicationTitle();
  const HWND owner = ApplicationWindow();
  ModalScope modal(owner);
  MessageBoxA(owner, message.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
}
