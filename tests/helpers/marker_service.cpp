// A Win32 service for tests:  marker_service.exe MARKER_PATH SERVICE_NAME
// runs until the Service Control Manager asks it to stop; then it writes "stopped" to
// MARKER_PATH, reports the stopped state and exits. Ended by force it writes nothing, so the
// marker tells a stop through the manager from a kill. It ends by itself after two minutes
// so that no copy outlives a failed test.
#include <windows.h>
#include <winsvc.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
const char* markerPath = nullptr;
char* serviceName = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopEvent);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WriteMarker() {
  HANDLE file = CreateFileA(markerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, "stopped", 7, &written, nullptr);
  CloseHandle(file);
}

void WINAPI ServiceMain(DWORD, char**) {
  statusHandle = RegisterServiceCtrlHandlerExA(serviceName, Handler, nullptr);
  if (!statusHandle) return;
  Report(SERVICE_RUNNING);
  if (WaitForSingleObject(stopEvent, 120000) == WAIT_OBJECT_0) WriteMarker();
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  markerPath = argv[1];
  serviceName = argv[2];
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SERVICE_TABLE_ENTRYA table[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 3;
}
