#pragma once
// Services seen through the Service Control Manager: which process runs which service, and
// stopping one so that its recovery options do not start it again.
#include <windows.h>
#include <winsvc.h>

#include <string>
#include <vector>

class Effects;

struct ServiceProcess {
  std::string serviceName;
  DWORD processId = 0;
};

// Every Win32 service that is not stopped, with the process that runs it; empty when the
// manager cannot be asked.
std::vector<ServiceProcess> RunningServiceProcesses();

// How long a service may take to reach the stopped state, and how often it is looked at.
inline constexpr DWORD kServiceStopBound = 5000;
inline constexpr DWORD kServiceStopPoll = 100;

// Opens the service with stop and query access and stops it through the gateway:
// ERROR_SUCCESS when it is stopped, else the system's error code.
[[nodiscard]] DWORD StopServiceByName(const std::string& serviceName, Effects& effects);

// Sends the stop control and waits, serving the messages, until the service is stopped or
// the bound is over (ERROR_SERVICE_REQUEST_TIMEOUT). A service already stopped counts as stopped.
[[nodiscard]] DWORD StopServiceAndWait(SC_HANDLE service, DWORD bound = kServiceStopBound);
