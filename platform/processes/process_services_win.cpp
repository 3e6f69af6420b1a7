#include <windows.h>
#include <tlhelp32.h>

#include "platform/processes/process_services.h"

#include <cstring>

#include "platform/effects.h"

namespace {

// The ANSI entry the Tool Help walk fills; its size is what dwSize must announce.
using AnsiProcessEntry = tagPROCESSENTRY32;
constexpr DWORD kProcessEntrySize = 296;
static_assert(sizeof(AnsiProcessEntry) == kProcessEntrySize, "ANSI PROCESSENTRY32 is 296 bytes on 32-bit");

using CreateSnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using WalkFunction = BOOL(WINAPI*)(HANDLE snapshot, AnsiProcessEntry* entry);

struct ToolHelp {
  CreateSnapshotFunction createSnapshot = nullptr;
  WalkFunction first = nullptr;
  WalkFunction next = nullptr;
  bool Available() const { return createSnapshot && first && next; }
};

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  // Through void(*)(), the one function type every other one may be cast from and to.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

ToolHelp FindToolHelp() {
  ToolHelp found;
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return found;
  found.createSnapshot = Lookup<CreateSnapshotFunction>(kernel, "CreateToolhelp32Snapshot");
  found.first = Lookup<WalkFunction>(kernel, "Process32First");
  found.next = Lookup<WalkFunction>(kernel, "Process32Next");
  return found;
}

// Looked up once, at the first use; the outcome holds until the program ends.
const ToolHelp& TheToolHelp() {
  static const ToolHelp toolHelp = FindToolHelp();
  return toolHelp;
}

MessagePreview messagePreview = nullptr;

// Takes every waiting message; a WM_QUIT is kept aside for the caller.
void ServeWaitingMessages(bool& quitSeen, WPARAM& quitCode) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitSeen = true;
      quitCode = message.wParam;
      continue;
    }
    if (messagePreview && messagePreview(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

bool ToolHelpAvailable() { return TheToolHelp().Available(); }

std::vector<ProcessEntry> TakeProcessSnapshot() {
  std::vector<ProcessEntry> entries;
  const ToolHelp& toolHelp = TheToolHelp();
  if (!toolHelp.Available()) return entries;
  HANDLE raw = toolHelp.createSnapshot(TH32CS_SNAPPROCESS, 0);
  if (raw == INVALID_HANDLE_VALUE) raw = nullptr;  // the failure value, not a handle to close
  const UniqueKernelHandle snapshot(raw);
  if (!snapshot) return entries;
  AnsiProcessEntry entry{};
  entry.dwSize = kProcessEntrySize;
  for (BOOL more = toolHelp.first(snapshot.Get(), &entry); more; more = toolHelp.next(snapshot.Get(), &entry)) {
    const std::size_t length = strnlen(entry.szExeFile, sizeof entry.szExeFile);
    entries.push_back({entry.th32ProcessID, std::string(entry.szExeFile, length)});
  }
  return entries;
}

DWORD TerminateProcessById(DWORD processId, const std::string& exeName, Effects& effects) {
  const UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
  if (!process) {
    const DWORD error = GetLastError();
    // An identifier that names no process any more: it ended after the snapshot.
    return error == ERROR_INVALID_PARAMETER ? ERROR_SUCCESS : error;
  }
  DWORD exitCode = 0;
  // Terminate-only access usually refuses the query (Windows NT family).
  if (!GetExitCodeProcess(process.Get(), &exitCode)) exitCode = kExitCodeWhenUnknown;
  return effects.EndProcess(process.Get(), exitCode, exeName) ? ERROR_SUCCESS : GetLastError();
}

void SetMessagePreview(MessagePreview preview) { messagePreview = preview; }

void WaitServingMessages(DWORD milliseconds) {
  // Elapsed time in unsigned arithmetic stays right when the tick count wraps.
  const DWORD start = GetTickCount();
  bool quitSeen = false;
  WPARAM quitCode = 0;
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    ServeWaitingMessages(quitSeen, quitCode);
    const DWORD afterServing = GetTickCount() - start;
    if (afterServing >= milliseconds) break;
    // Sleeps until input arrives or the time is over; input already seen but left in the
    // queue by a nested loop wakes it as well.
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - afterServing, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
}
