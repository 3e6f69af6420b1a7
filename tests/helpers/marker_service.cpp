// A Win32 service for tests:  marker_service.exe MARKER_PATH SERVICE_NAME
// When the Service Control Manager asks it to stop it writes MARKER_PATH and reports the
// stopped state, so the marker tells a stop through the manager from a kill. It ends by
// itself after two minutes so that no copy outlives a failed test.
#include <windows.h>
#include <winsvc.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
char** arguments = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0u};
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) SetEvent(stopEvent);
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  statusHandle = RegisterServiceCtrlHandlerExA(arguments[2], Handler, nullptr);
  Report(SERVICE_RUNNING);
  if (WaitForSingleObject(stopEvent, 120000) == WAIT_OBJECT_0) {
    CloseHandle(CreateFileA(arguments[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  arguments = argv;
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{argv[2], ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 3;
}
