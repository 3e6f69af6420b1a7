#pragma once
// Ends the product's running processes before the rule pass: up to ten passes over the
// process table, with a one-second pause that keeps the window served after odd passes.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "engine/cleaner_context.h"
#include "platform/process_services.h"

inline constexpr int kMaxTerminationPasses = 10;
inline constexpr DWORD kPauseAfterOddPass = 1000;

// Where the passes get their snapshots and pauses; tests count them through their own.
struct ProcessTerminationServices {
  std::vector<ProcessEntry> (*takeSnapshot)() = TakeProcessSnapshot;
  void (*pause)(DWORD milliseconds) = WaitServingMessages;
};

void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services = {});

// Ends one process whose executable field equals the given one, letter case of a to z ignored.
void TerminateByExecutableField(CleanerContext& context, const std::string& field,
                                const ProcessTerminationServices& services = {});

// The user locale's case-insensitive order (CompareStringA with NORM_IGNORECASE).
int CompareInUserLocaleIgnoringCase(std::string_view a, std::string_view b);
