#pragma once
// The process table through Tool Help (found at run time), termination with terminate-only
// access, and the wait that keeps the user interface served.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/handles.h"

class Effects;

struct ProcessEntry {
  DWORD processId = 0;
  std::string exeFile;  // szExeFile up to its NUL
};

// Every process of a Tool Help snapshot, in snapshot order; empty without Tool Help.
std::vector<ProcessEntry> TakeProcessSnapshot();
bool ToolHelpAvailable();

// The exit code handed to TerminateProcess when the exit-code query is refused.
inline constexpr UINT kExitCodeWhenUnknown = 1;
// OpenProcess(PROCESS_TERMINATE), GetExitCodeProcess, TerminateProcess via the gateway:
// ERROR_SUCCESS when the process was ended or had ended before it could be opened, else the
// system's error code of the open or the termination.
[[nodiscard]] DWORD TerminateProcessById(DWORD processId, const std::string& exeName, Effects& effects);

// Returns after the time, serving the thread's messages as they arrive without spinning.
// A WM_QUIT taken from the queue is posted again once the time is over.
void WaitServingMessages(DWORD milliseconds);

// The user interface's own handling of a message before it is translated and dispatched
// (dialog keys of the main window); true when it consumed the message. None by default.
using MessagePreview = bool (*)(MSG& message);
void SetMessagePreview(MessagePreview preview);
