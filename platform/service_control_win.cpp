#include <windows.h>
#include <winsvc.h>

#include "platform/service_control.h"

#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/process_services.h"

namespace {

[[nodiscard]] DWORD CurrentState(SC_HANDLE service, DWORD& state) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                            &needed)) {
    return GetLastError();
  }
  state = status.dwCurrentState;
  return ERROR_SUCCESS;
}

}  // namespace

std::vector<ServiceProcess> RunningServiceProcesses() {
  std::vector<ServiceProcess> found;
  // Without the manager's list every target is ended by its process alone, as before.
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return found;
  std::vector<BYTE> buffer(16 * 1024);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0;
    DWORD returned = 0;
    const BOOL complete =
        EnumServicesStatusExA(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed, &returned, &resume, nullptr);
    if (!complete && GetLastError() != ERROR_MORE_DATA) break;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
      found.push_back({entries[i].lpServiceName, entries[i].ServiceStatusProcess.dwProcessId});
    }
    if (complete || (returned == 0 && needed <= buffer.size())) break;
    if (needed > buffer.size()) buffer.resize(needed);
  }
  return found;
}

DWORD StopServiceByName(const std::string& serviceName, Effects& effects) {
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return GetLastError();
  const UniqueServiceHandle service(
      OpenServiceA(manager.Get(), serviceName.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return GetLastError();
  return effects.StopService(service.Get(), serviceName);
}

DWORD StopServiceAndWait(SC_HANDLE service, DWORD bound) {
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    const DWORD refused = GetLastError();
    if (refused == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;
    // A stop already under way refuses a second one; its end is awaited as well.
    DWORD state = 0;
    if (CurrentState(service, state) != ERROR_SUCCESS || state != SERVICE_STOP_PENDING) return refused;
  }
  // Elapsed time in unsigned arithmetic stays right when the tick count wraps.
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD state = 0;
    if (const DWORD error = CurrentState(service, state); error != ERROR_SUCCESS) return error;
    if (state == SERVICE_STOPPED) return ERROR_SUCCESS;
    if (GetTickCount() - start >= bound) return ERROR_SERVICE_REQUEST_TIMEOUT;
    WaitServingMessages(kServiceStopPoll);
  }
}
