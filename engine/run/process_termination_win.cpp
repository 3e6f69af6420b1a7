#include <windows.h>

#include "engine/run/process_termination.h"

#include "engine/rules/process_targets.h"
#include "platform/privileges.h"
#include "platform/system_error.h"

int CompareInUserLocaleIgnoringCase(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) -
         CSTR_EQUAL;
}

namespace {

std::vector<std::string> ExecutableFields(const std::vector<ProcessEntry>& snapshot) {
  std::vector<std::string> fields;
  fields.reserve(snapshot.size());
  for (const ProcessEntry& entry : snapshot) fields.push_back(entry.exeFile);
  return fields;
}

// A service's recovery options start a killed process again, so the services a process runs
// are stopped through the manager: ERROR_SUCCESS when every one of them stopped, the last
// error when one did not, nothing when the process runs no service.
[[nodiscard]] std::optional<DWORD> StopServicesOf(CleanerContext& context, const ProcessEntry& process,
                                                  const std::vector<ServiceProcess>& running) {
  std::optional<DWORD> outcome;
  for (const ServiceProcess& service : running) {
    if (service.processId != process.processId) continue;
    const DWORD error = StopServiceByName(service.serviceName, context.effects);
    const std::string name = "Service " + service.serviceName + " of " + process.exeFile;
    TraceIfOn(context, error == ERROR_SUCCESS ? name + " stopped" : name + " did not stop: " + SystemErrorText(error));
    if (!outcome || error != ERROR_SUCCESS) outcome = error;
  }
  return outcome;
}

void ReportSurvivors(CleanerContext& context, const TerminationRecord& record,
                     const std::vector<ProcessEntry>& snapshot) {
  for (const ProcessEntry& entry : snapshot) {
    if (!IsTarget(entry.exeFile)) continue;
    if (const auto line = record.SurvivorLine(entry.processId, entry.exeFile)) AddInfo(context, *line);
  }
}

}  // namespace

std::optional<TerminationAttempt> TerminateByExecutableField(CleanerContext& context, const std::string& field,
                                                             const ProcessTerminationServices& services) {
  const std::vector<ProcessEntry> snapshot = services.takeSnapshot();
  const std::size_t chosen = ChooseProcessToEnd(ExecutableFields(snapshot), field);
  if (chosen == kNoProcess) return std::nullopt;
  const ProcessEntry& process = snapshot[chosen];
  // Ending the process by force stays the way for one that runs no service or whose
  // services would not stop.
  if (StopServicesOf(context, process, services.takeServiceSnapshot()) == ERROR_SUCCESS) {
    return TerminationAttempt{process.processId, ERROR_SUCCESS};
  }
  return TerminationAttempt{process.processId, services.terminate(process.processId, field, context.effects)};
}

void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services) {
  // Without the privilege only the processes whose security admits this user can be opened;
  // each one that cannot is reported on its own line, so this failure is none by itself
  // (a user who is no administrator has no such privilege to enable).
  if (const DWORD error = EnablePrivilege(kDebugPrivilege); error != ERROR_SUCCESS) {
    TraceIfOn(context, std::string(kDebugPrivilege) + " not enabled: " + SystemErrorText(error));
  }
  TerminationRecord record;
  // One pass ends at most one process per distinct name, so passes repeat while targets remain.
  int passes = 0;
  bool found = false;
  bool pausedLast = false;
  do {
    found = false;
    const std::vector<std::string> running =
        BuildRunningExecutableList(ExecutableFields(services.takeSnapshot()), CompareInUserLocaleIgnoringCase);
    for (const std::string& entry : running) {
      if (!IsTarget(entry)) continue;
      found = true;
      if (const auto attempt = TerminateByExecutableField(context, entry, services)) {
        if (attempt->error == ERROR_SUCCESS) {
          record.NoteEnded(attempt->processId);
        } else {
          record.NoteFailed(attempt->processId, SystemErrorText(attempt->error));
        }
      }
      TraceIfOn(context, entry + " try to kill");
    }
    ++passes;
    pausedLast = passes % 2 == 1;
    if (pausedLast) services.pause(kPauseAfterOddPass);
  } while (found && passes < kMaxTerminationPasses);
  // A product that starts itself again at once is seen gone by a pass that follows without a
  // pause; one more look after a pause finds it, and whatever still runs is reported.
  if (!pausedLast) services.pause(kPauseAfterOddPass);
  ReportSurvivors(context, record, services.takeSnapshot());
}
