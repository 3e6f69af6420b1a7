#pragma once
// What the process and shortcut tests share: a context with a chosen gateway that records
// what the run reports, started helper programs that never outlive their test, and the
// trace log's lines.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run_view.h"
#include "platform/handles.h"
#include "report/trace_log.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/trace_messages.h"

namespace process_tests {

// Forwards to the live gateway and counts the terminations and service stops; told to, it
// refuses them with ERROR_ACCESS_DENIED instead, as Windows does where Wine cannot.
class CountingEffects : public LiveEffects {
 public:
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override {
    endedNames.push_back(exeName);
    if (!refuseEnd) return LiveEffects::EndProcess(process, exitCode, exeName);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override {
    stoppedServices.push_back(serviceName);
    return refuseStop ? ERROR_ACCESS_DENIED : LiveEffects::StopService(service, serviceName);
  }
  std::vector<std::string> endedNames;
  std::vector<std::string> stoppedServices;
  bool refuseEnd = false;
  bool refuseStop = false;
};

using TestRun = EngineTestContext;

// A program started for a test; ended by the destructor when still running.
class StartedProcess {
 public:
  StartedProcess(const std::string& exe, const std::string& arguments);
  ~StartedProcess();
  StartedProcess(StartedProcess&&) = default;
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.Get(); }
  // True when the process has ended within the given time.
  bool EndsWithin(DWORD milliseconds) const;

 private:
  UniqueKernelHandle process_;
  DWORD id_ = 0;
};

// Copies a helper program (the sleeper by default) under the given name into the folder;
// returns the copy's path.
std::string CopySleeperAs(const std::string& folder, const std::string& exeName,
                          const std::string& helper = "sleeper.exe");

// Waits (bounded) until every given process shows in a Tool Help snapshot.
bool WaitUntilListed(const std::vector<DWORD>& processIds);
// Waits (bounded) until at least count processes of the executable name are listed.
bool WaitUntilNameListed(const std::string& exeName, std::size_t count);

}  // namespace process_tests
