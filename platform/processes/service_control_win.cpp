#include <windows.h>
#include <winsvc.h>

#include "platform/processes/service_control.h"

#include <cstring>

#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/processes/process_services.h"

namespace {

[[nodiscard]] DWORD CurrentStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                            &needed)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

// QueryServiceConfig2W into a buffer of the size it asks for.
[[nodiscard]] DWORD QueryConfig2(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer) {
  buffer.assign(256, 0);
  DWORD needed = 0;
  while (!QueryServiceConfig2W(service, level, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
    buffer.assign(needed, 0);
  }
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

DWORD ServiceStopPoll(DWORD waitHint) {
  const DWORD tenth = waitHint / 10;
  return tenth < kServiceStopPollShortest ? kServiceStopPollShortest
         : tenth > kServiceStopPollLongest ? kServiceStopPollLongest
                                           : tenth;
}

DWORD StopServiceAndWait(SC_HANDLE service, DWORD bound) {
  SERVICE_STATUS sent{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &sent)) {
    const DWORD refused = GetLastError();
    if (refused == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;
    // A stop already under way refuses a second one; its end is awaited as well.
    SERVICE_STATUS_PROCESS status{};
    if (CurrentStatus(service, status) != ERROR_SUCCESS || status.dwCurrentState != SERVICE_STOP_PENDING) {
      return refused;
    }
  }
  // Elapsed time in unsigned arithmetic stays right when the tick count wraps.
  const DWORD start = GetTickCount();
  DWORD checkPoint = 0;
  DWORD movedAt = start;
  for (;;) {
    SERVICE_STATUS_PROCESS status{};
    if (const DWORD error = CurrentStatus(service, status); error != ERROR_SUCCESS) return error;
    if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;
    const DWORD now = GetTickCount();
    if (now - start >= bound) return ERROR_SERVICE_REQUEST_TIMEOUT;
    // A service that promised its next step within the hint and did not make it hangs.
    if (status.dwCheckPoint != checkPoint) {
      checkPoint = status.dwCheckPoint;
      movedAt = now;
    } else if (status.dwWaitHint != 0 && now - movedAt > status.dwWaitHint) {
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
    WaitServingMessages(ServiceStopPoll(status.dwWaitHint));
  }
}

DWORD ReadServiceSettings(SC_HANDLE service, ServiceSettings& settings) {
  std::vector<BYTE> buffer(1024);
  DWORD needed = 0;
  while (!QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                              static_cast<DWORD>(buffer.size()), &needed)) {
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
    buffer.assign(needed, 0);
  }
  settings = {};
  settings.startType = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data())->dwStartType;
  // A manager that knows no failure actions (Wine's) keeps none.
  if (const DWORD error = QueryConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer); error == ERROR_INVALID_LEVEL) {
    return ERROR_SUCCESS;
  } else if (error != ERROR_SUCCESS) {
    return error;
  }
  const auto* failure = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
  settings.resetPeriod = failure->dwResetPeriod;
  if (failure->lpRebootMsg) settings.rebootMessage = failure->lpRebootMsg;
  if (failure->lpCommand) settings.command = failure->lpCommand;
  for (DWORD i = 0; failure->lpsaActions && i < failure->cActions; ++i) {
    settings.actions.push_back({static_cast<std::uint32_t>(failure->lpsaActions[i].Type), failure->lpsaActions[i].Delay});
  }
  return ERROR_SUCCESS;
}

DWORD WriteServiceSettings(SC_HANDLE service, const ServiceSettings& settings) {
  if (!ChangeServiceConfigW(service, SERVICE_NO_CHANGE, settings.startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return GetLastError();
  }
  std::vector<SC_ACTION> actions;
  for (const ServiceFailureAction& action : settings.actions) {
    actions.push_back({static_cast<SC_ACTION_TYPE>(action.type), action.delay});
  }
  SC_ACTION none{};
  std::wstring rebootMessage = settings.rebootMessage;
  std::wstring command = settings.command;
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = settings.resetPeriod;
  // An empty text removes the one set; no actions with a list given removes the list.
  failure.lpRebootMsg = rebootMessage.data();
  failure.lpCommand = command.data();
  failure.cActions = static_cast<DWORD>(actions.size());
  failure.lpsaActions = actions.empty() ? &none : actions.data();
  if (ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) return ERROR_SUCCESS;
  // A manager that knows no failure actions has none to clear.
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_LEVEL && settings.actions.empty() ? ERROR_SUCCESS : error;
}

bool IsLaunchProtectedService(SC_HANDLE service) {
  std::vector<BYTE> buffer;
  if (QueryConfig2(service, SERVICE_CONFIG_LAUNCH_PROTECTED, buffer) != ERROR_SUCCESS || buffer.size() < sizeof(DWORD)) {
    return false;
  }
  DWORD protection = 0;
  std::memcpy(&protection, buffer.data(), sizeof protection);
  return protection != SERVICE_LAUNCH_PROTECTED_NONE;
}

std::vector<std::string> ActiveDependentServices(SC_HANDLE service) {
  std::vector<std::string> names;
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  DWORD count = 0;
  while (!EnumDependentServicesA(service, SERVICE_ACTIVE, reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()),
                                 static_cast<DWORD>(buffer.size()), &needed, &count)) {
    if (GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) return names;
    buffer.assign(needed, 0);
  }
  const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) names.emplace_back(entries[i].lpServiceName);
  return names;
}
