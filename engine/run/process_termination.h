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
#include "platform/process_services.h"
#include "platform/service_control.h"

inline constexpr int kMaxTerminationPasses = 10;
inline constexpr DWORD kPauseAfterOddPass = 1000;

// Where the passes get their snapshots, pauses and terminations; tests count them or answer
// refusals through their own.
struct ProcessTerminationServices {
  std::vector<ProcessEntry> (*takeSnapshot)() = TakeProcessSnapshot;
  void (*pause)(DWORD milliseconds) = WaitServingMessages;
  std::vector<ServiceProcess> (*takeServiceSnapshot)() = RunningServiceProcesses;
  DWORD (*terminate)(DWORD processId, const std::string& exeName, Effects& effects) = TerminateProcessById;
};

void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services = {});

// One attempt on one process: ERROR_SUCCESS when it was ended (or its services stopped),
// else the system's error code.
struct TerminationAttempt {
  DWORD processId = 0;
  DWORD error = ERROR_SUCCESS;
};

// Ends one process whose executable field equals the given one, letter case of a to z ignored;
// a process that runs services is stopped through the Service Control Manager first. Nothing
// when no process matches.
[[nodiscard]] std::optional<TerminationAttempt> TerminateByExecutableField(
    CleanerContext& context, const std::string& field, const ProcessTerminationServices& services = {});

// The user locale's case-insensitive order (CompareStringA with NORM_IGNORECASE).
int CompareInUserLocaleIgnoringCase(std::string_view a, std::string_view b);
