#pragma once
// Ends the product's running processes before the rule pass: up to ten passes over the
// process table, with a one-second pause that keeps the window served after odd passes, then
// one more look after a pause for targets still running, each of which is reported.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cleaner_context.h"
#include "platform/processes/process_services.h"
#include "platform/processes/service_control.h"

inline constexpr int kMaxTerminationPasses = 10;
inline constexpr DWORD kPauseAfterOddPass = 1000;

// Whether the process ends within the time (or has ended); a process that cannot be watched
// counts as still running.
bool ProcessEndsWithin(DWORD processId, DWORD milliseconds);

// Where the passes get their snapshots, pauses and terminations; tests count them or answer
// refusals through their own.
struct ProcessTerminationServices {
  std::vector<ProcessEntry> (*takeSnapshot)() = TakeProcessSnapshot;
  void (*pause)(DWORD milliseconds) = WaitServingMessages;
  std::vector<ServiceProcess> (*takeServiceSnapshot)() = RunningServiceProcesses;
  DWORD (*terminate)(DWORD processId, const std::string& exeName, Effects& effects) = TerminateProcessById;
  // Tests answer "protected" where Wine knows no protected services.
  bool (*isLaunchProtected)(SC_HANDLE service) = IsLaunchProtectedService;
  // Wine's manager does not list dependent services; tests list them for it.
  std::vector<std::string> (*dependentsOf)(SC_HANDLE service) = ActiveDependentServices;
  // Whether a process whose services stopped ends by itself within the time; a dry run, whose
  // stops change nothing, answers for the live run.
  bool (*endsBySelf)(DWORD processId, DWORD milliseconds) = ProcessEndsWithin;
};

// The reason given for a process that runs a service Windows protects, which no
// administrator may stop, change or delete: "service NAME, " and this.
inline constexpr char kProtectedServiceText[] =
    "protected anti-malware service: remove it with the vendor's tool or in Safe Mode";
// Followed by the service's name, " of ", the executable's, ": " and the system's reason.
inline constexpr char kServiceNotDisabledText[] = "Could NOT disable service ";
// How long a stopped service's process is given to end by itself before it is ended.
inline constexpr DWORD kServiceProcessExitWait = 2000;


void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services = {});

// One attempt on one process: ERROR_SUCCESS when it was ended (or its services stopped),
// else the system's error code.
struct TerminationAttempt {
  DWORD processId = 0;
  DWORD error = ERROR_SUCCESS;
  std::string reason{};  // said instead of the system's text for error, where set
  // Lines about the process's services (one that could not be disabled), for the run to
  // list once each.
  std::vector<std::string> serviceLines{};
};

// Ends one process whose executable field equals the given one, letter case of a to z ignored;
// nothing when no process matches. A process that runs services has each of them disabled
// (start type 4, no failure actions: neither a restart of Windows nor the manager's recovery
// brings it back), the services that depend on it stopped, and then the service stopped
// through the Service Control Manager, before the process is ended if it still runs. A
// protected service is left with a line, and so is its process.
[[nodiscard]] std::optional<TerminationAttempt> TerminateByExecutableField(
    CleanerContext& context, const std::string& field, const ProcessTerminationServices& services = {});

// The user locale's case-insensitive order (CompareStringA with NORM_IGNORECASE).
int CompareInUserLocaleIgnoringCase(std::string_view a, std::string_view b);
