#include <windows.h>

#include "engine/run/process_termination.h"

#include <set>

#include "engine/rules/process_targets.h"
#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/security/privileges.h"
#include "platform/system_error.h"

bool ProcessEndsWithin(DWORD processId, DWORD milliseconds) {
  const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // gone already
  return WaitForSingleObject(process.Get(), milliseconds) == WAIT_OBJECT_0;
}

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

// Every right the run uses on a product's service; a service whose security grants fewer is
// opened for stopping alone, and the changes it refuses are listed.
constexpr DWORD kServiceRights = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |
                                 SERVICE_ENUMERATE_DEPENDENTS;

enum class ServicesOutcome { None, Stopped, NotStopped, Protected };

// Disables one of the product's services and clears its failure actions, so that neither a
// restart of Windows nor the manager's recovery brings it back; stops the services that
// depend on it, which would refuse its stop; then stops it, waiting by its wait hint.
// A service that cannot be disabled adds its line to lines.
[[nodiscard]] ServicesOutcome ShutDownService(CleanerContext& context, const std::string& serviceName,
                                              const std::string& exeName, const ProcessTerminationServices& services,
                                              std::vector<std::string>& lines) {
  const std::string name = "Service " + serviceName + " of " + exeName;
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueServiceHandle service;
  if (manager) {
    service = UniqueServiceHandle(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceRights));
    if (!service) service = UniqueServiceHandle(OpenServiceA(manager.Get(), serviceName.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
  }
  if (!service) {
    TraceIfOn(context, name + " did not stop: " + SystemErrorText(GetLastError()));
    return ServicesOutcome::NotStopped;
  }
  if (services.isLaunchProtected(service.Get())) {
    TraceIfOn(context, name + ": " + kProtectedServiceText);
    return ServicesOutcome::Protected;
  }
  // A later pass finds it disabled already and changes (and journals) nothing again.
  ServiceSettings now;
  const bool disabledAlready =
      ReadServiceSettings(service.Get(), now) == ERROR_SUCCESS && now == DisabledServiceSettings();
  const DWORD disabled = disabledAlready ? static_cast<DWORD>(ERROR_SUCCESS)
                                         : context.effects.ConfigureService(service.Get(), serviceName,
                                                                            DisabledServiceSettings());
  if (disabled != ERROR_SUCCESS && disabled != kBackupRefusedCode) {
    lines.push_back(kServiceNotDisabledText + serviceName + " of " + exeName + ": " + SystemErrorText(disabled));
  }
  for (const std::string& dependent : services.dependentsOf(service.Get())) {
    const DWORD error = StopServiceByName(dependent, context.effects);
    TraceIfOn(context, "Service " + dependent + ", which depends on " + serviceName +
                           (error == ERROR_SUCCESS ? " stopped" : " did not stop: " + SystemErrorText(error)));
  }
  const DWORD error = context.effects.StopService(service.Get(), serviceName);
  TraceIfOn(context, error == ERROR_SUCCESS ? name + " stopped" : name + " did not stop: " + SystemErrorText(error));
  return error == ERROR_SUCCESS ? ServicesOutcome::Stopped : ServicesOutcome::NotStopped;
}

// A service's recovery options start a killed process again, so the services a process runs
// are shut down through the manager first: the worst outcome of them, None when the process
// runs no service.
// protectedName receives the name of a protected service among them.
[[nodiscard]] ServicesOutcome ShutDownServicesOf(CleanerContext& context, const ProcessEntry& process,
                                                 const ProcessTerminationServices& services,
                                                 std::string& protectedName, std::vector<std::string>& lines) {
  ServicesOutcome outcome = ServicesOutcome::None;
  for (const ServiceProcess& service : services.takeServiceSnapshot()) {
    if (service.processId != process.processId) continue;
    const ServicesOutcome one = ShutDownService(context, service.serviceName, process.exeFile, services, lines);
    if (one == ServicesOutcome::Protected) protectedName = service.serviceName;
    if (one > outcome) outcome = one;
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
  std::string protectedName;
  std::vector<std::string> lines;
  switch (ShutDownServicesOf(context, process, services, protectedName, lines)) {
    // No administrator may end it or its service: it is left as it is, and its line says why.
    case ServicesOutcome::Protected:
      return TerminationAttempt{process.processId, ERROR_ACCESS_DENIED,
                                "service " + protectedName + ", " + kProtectedServiceText, lines};
    case ServicesOutcome::Stopped:
      if (services.endsBySelf(process.processId, kServiceProcessExitWait)) {
        return TerminationAttempt{process.processId, ERROR_SUCCESS, {}, lines};
      }
      break;
    // Ending the process by force stays the way for one that runs no service or whose
    // services would not stop.
    case ServicesOutcome::None:
    case ServicesOutcome::NotStopped: break;
  }
  return TerminationAttempt{process.processId, services.terminate(process.processId, field, context.effects), {},
                            lines};
}

void TerminateProductProcesses(CleanerContext& context, const ProcessTerminationServices& services) {
  // Without the privilege only the processes whose security admits this user can be opened;
  // each one that cannot is reported on its own line, so this failure is none by itself
  // (a user who is no administrator has no such privilege to enable).
  if (const DWORD error = EnablePrivilege(kDebugPrivilege); error != ERROR_SUCCESS) {
    TraceIfOn(context, std::string(kDebugPrivilege) + " not enabled: " + SystemErrorText(error));
  }
  TerminationRecord record;
  std::set<std::string> serviceLines;  // each listed once, however many passes meet it
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
        for (const std::string& line : attempt->serviceLines) {
          if (serviceLines.insert(line).second) AddInfo(context, line);
        }
        if (attempt->error == ERROR_SUCCESS) {
          record.NoteEnded(attempt->processId);
        } else {
          record.NoteFailed(attempt->processId,
                            attempt->reason.empty() ? SystemErrorText(attempt->error) : attempt->reason);
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
