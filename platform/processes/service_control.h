#pragma once
// Services seen through the Service Control Manager: which process runs which service, their
// settings, the services that depend on one, and stopping one so that its recovery options
// do not start it again.
#include <windows.h>
#include <winsvc.h>

#include <string>
#include <vector>

#include "platform/service_control_settings.h"

class Effects;

struct ServiceProcess {
  std::string serviceName;
  DWORD processId = 0;
};

// Every Win32 service that is not stopped, with the process that runs it; empty when the
// manager cannot be asked.
std::vector<ServiceProcess> RunningServiceProcesses();

// How long a service may take to reach the stopped state. It is looked at as often as its
// wait hint asks (a tenth of it), within these bounds.
inline constexpr DWORD kServiceStopBound = 30000;
inline constexpr DWORD kServiceStopPollShortest = 100;
inline constexpr DWORD kServiceStopPollLongest = 1000;

// The pause before the next look at a stopping service: a tenth of its wait hint, bounded.
DWORD ServiceStopPoll(DWORD waitHint);

// Opens the service with stop and query access and stops it through the gateway:
// ERROR_SUCCESS when it is stopped, else the system's error code.
[[nodiscard]] DWORD StopServiceByName(const std::string& serviceName, Effects& effects);

// Sends the stop control and waits, serving the messages, until the service is stopped, the
// bound is over, or the service's checkpoint stood still for longer than a wait hint it gave
// (ERROR_SERVICE_REQUEST_TIMEOUT). A service already stopped counts as stopped.
[[nodiscard]] DWORD StopServiceAndWait(SC_HANDLE service, DWORD bound = kServiceStopBound);

// The start type and failure actions the service has now (SERVICE_QUERY_CONFIG).
[[nodiscard]] DWORD ReadServiceSettings(SC_HANDLE service, ServiceSettings& settings);
// Sets them (SERVICE_CHANGE_CONFIG): the live form of the gateway's call. No failure actions
// clears the list and its reset period.
[[nodiscard]] DWORD WriteServiceSettings(SC_HANDLE service, const ServiceSettings& settings);

// True for a service Windows starts as a protected process (SERVICE_CONFIG_LAUNCH_PROTECTED,
// Windows 8.1 and later: an anti-malware product's early-launch service): no administrator
// may stop, change or delete it. False where the system does not know the setting.
bool IsLaunchProtectedService(SC_HANDLE service);

// The services that depend on this one and run now, in the order they are to be stopped
// (SERVICE_ENUMERATE_DEPENDENTS); empty when none or when they cannot be listed.
std::vector<std::string> ActiveDependentServices(SC_HANDLE service);
