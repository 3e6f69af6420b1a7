#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/rules/process_targets.h"
#include "engine/run/process_termination.h"
#include "platform/processes/service_control.h"
#include "platform/system_error.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/process_test_helpers.h"

using process_tests::CountingEffects;
using process_tests::StartedProcess;
using process_tests::TestRun;

namespace {

// What the passes did, seen through their snapshot and pause services.
struct PassRecord {
  int snapshots = 0;
  int pauses = 0;
  std::vector<int> endedAtPause;  // how many of the watched processes had ended at each pause
  std::vector<const StartedProcess*> watched;
  bool realPause = true;
};
PassRecord* record = nullptr;

std::vector<ProcessEntry> CountedSnapshot() {
  ++record->snapshots;
  return TakeProcessSnapshot();
}

void CountedPause(DWORD milliseconds) {
  ++record->pauses;
  if (record->realPause) WaitServingMessages(milliseconds);
  record->endedAtPause.push_back(static_cast<int>(std::count_if(
      record->watched.begin(), record->watched.end(), [](const StartedProcess* p) { return p->EndsWithin(0); })));
}

class ProcessTermination : public ::testing::Test {
 protected:
  void SetUp() override { record = &passes; }
  void TearDown() override { record = nullptr; }

  ProcessTerminationServices Counted() {
    ProcessTerminationServices services;
    services.takeSnapshot = CountedSnapshot;
    services.pause = CountedPause;
    return services;
  }
  std::vector<std::string> TraceOf(TestRun& run) {
    run.trace.Close();
    return ::TraceMessages(folder / "VC.LOG");
  }
  void OpenTrace(TestRun& run, bool on) {
    run.trace.Open(folder / "VC.LOG");
    run.state.TraceLogOn = on;
  }

  ScratchFolder folder{"kill"};
  PassRecord passes;
};

std::size_t CountOf(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
}

}  // namespace

TEST_F(ProcessTermination, NoTargetRunningMeansOnePassAndOneWait) {
  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, true);
  TerminateProductProcesses(run.context, Counted());
  // The pass, then the look for survivors after the pass's own pause.
  EXPECT_EQ(passes.snapshots, 2);
  EXPECT_EQ(passes.pauses, 1);
  EXPECT_TRUE(effects.endedNames.empty());
  EXPECT_TRUE(TraceOf(run).empty());
  EXPECT_EQ(run.context.outcome.ExitCode(), 0);
}

TEST_F(ProcessTermination, TwoCopiesOfOneTargetAreEndedOnePerPass) {
  const std::string exe = process_tests::CopySleeperAs(folder.Path(), "ZdnM.exe");
  StartedProcess first(exe, "60");
  StartedProcess second(exe, "60");
  ASSERT_TRUE(process_tests::WaitUntilListed({first.Id(), second.Id()}));
  passes.watched = {&first, &second};

  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, true);
  TerminateProductProcesses(run.context, Counted());

  EXPECT_TRUE(first.EndsWithin(5000));
  EXPECT_TRUE(second.EndsWithin(5000));
  // The list holds the name once, so the first pass ends one copy and the second the other.
  ASSERT_GE(passes.endedAtPause.size(), 1u);
  EXPECT_EQ(passes.endedAtPause[0], 1);
  ASSERT_GE(effects.endedNames.size(), 2u);
  EXPECT_EQ(CountOf(effects.endedNames, "ZdnM.exe"), effects.endedNames.size());
  // One trace line per attempt.
  const std::vector<std::string> trace = TraceOf(run);
  EXPECT_EQ(CountOf(trace, "ZdnM.exe try to kill"), trace.size());
  EXPECT_EQ(trace.size(), effects.endedNames.size());
  // The last pass found nothing; passes ended before the limit, each odd one paused.
  EXPECT_LT(passes.pauses, 5);
}

TEST_F(ProcessTermination, EveryTargetNameIsEndedAndNothingElse) {
  std::vector<StartedProcess> targets;
  std::vector<DWORD> ids;
  for (const std::string_view name : kProcessTargetNames) {
    targets.emplace_back(process_tests::CopySleeperAs(folder.Path(), std::string(name)), "60");
    ids.push_back(targets.back().Id());
  }
  StartedProcess bystander(process_tests::CopySleeperAs(folder.Path(), "ZdnM.exe.bak.exe"), "60");
  ids.push_back(bystander.Id());
  ASSERT_TRUE(process_tests::WaitUntilListed(ids));

  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, true);
  TerminateProductProcesses(run.context, Counted());

  for (const StartedProcess& target : targets) EXPECT_TRUE(target.EndsWithin(5000));
  EXPECT_FALSE(bystander.EndsWithin(0));
  const std::vector<std::string> trace = TraceOf(run);
  for (const std::string_view name : kProcessTargetNames) {
    EXPECT_GE(CountOf(trace, std::string(name) + " try to kill"), 1u) << name;
  }
}

TEST_F(ProcessTermination, TraceLogOffWritesNoLine) {
  StartedProcess target(process_tests::CopySleeperAs(folder.Path(), "ZdnCC.exe"), "60");
  ASSERT_TRUE(process_tests::WaitUntilListed({target.Id()}));
  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, false);
  TerminateProductProcesses(run.context, Counted());
  EXPECT_TRUE(target.EndsWithin(5000));
  EXPECT_FALSE(effects.endedNames.empty());
  EXPECT_TRUE(TraceOf(run).empty());
}

TEST_F(ProcessTermination, AProcessThatCannotBeEndedStopsTheRepetitionAfterTenPasses) {
  // The dry-run gateway ends nothing, so the target is found in every pass.
  StartedProcess target(process_tests::CopySleeperAs(folder.Path(), "ZdnNCC.exe"), "60");
  ASSERT_TRUE(process_tests::WaitUntilListed({target.Id()}));
  RecordingEffects dryRun;
  TestRun run(dryRun);
  OpenTrace(run, true);
  passes.realPause = false;
  TerminateProductProcesses(run.context, Counted());

  // The tenth pass has no pause of its own, so the look for survivors waits first.
  EXPECT_EQ(passes.pauses, 6);
  EXPECT_EQ(passes.snapshots, 21);  // each pass: the list, then the search; then the survivors
  ASSERT_EQ(dryRun.actions.size(), 10u);
  for (const RecordedAction& action : dryRun.actions) {
    EXPECT_EQ(action.kind, RecordedAction::Kind::EndProcess);
    EXPECT_EQ(action.target, "ZdnNCC.exe");
    EXPECT_EQ(action.detail, std::to_string(kExitCodeWhenUnknown));
  }
  EXPECT_EQ(CountOf(TraceOf(run), "ZdnNCC.exe try to kill"), 10u);
  EXPECT_FALSE(target.EndsWithin(0));
}

TEST_F(ProcessTermination, AProductThatRestartsItselfIsTriedTenTimesThenEachCopyIsReported) {
  const std::string child = process_tests::CopySleeperAs(folder.Path(), "ZdnS.exe");
  const std::string eventName = "CleanerRespawnStop" + std::to_string(GetCurrentProcessId());
  UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(stop);
  StartedProcess respawner(HelperPath("respawner.exe"), "\"" + child + "\" " + eventName + " 60");
  ASSERT_TRUE(process_tests::WaitUntilNameListed("ZdnS.exe", 2));

  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, true);
  TerminateProductProcesses(run.context, Counted());

  EXPECT_EQ(passes.pauses, 6);
  const std::vector<std::string> trace = TraceOf(run);
  EXPECT_EQ(CountOf(trace, "ZdnS.exe try to kill"), 10u);
  // The two copies running after the last look, each a line of its own.
  ASSERT_EQ(run.reporter.infoLines.size(), 2u);
  for (const std::string& line : run.reporter.infoLines) {
    EXPECT_TRUE(line.starts_with("Could NOT end process ZdnS.exe (") && line.ends_with("): still running")) << line;
  }
  EXPECT_EQ(trace.size(), 12u);
  EXPECT_EQ(run.context.outcome.ExitCode(), 1);
  SetEvent(stop.Get());
  EXPECT_TRUE(respawner.EndsWithin(10000));
}

TEST_F(ProcessTermination, TheWholeExecutableFieldIsComparedIgnoringAsciiCase) {
  StartedProcess target(process_tests::CopySleeperAs(folder.Path(), "ZdnNCC.exe"), "60");
  ASSERT_TRUE(process_tests::WaitUntilListed({target.Id()}));
  CountingEffects effects;
  TestRun run(effects);

  EXPECT_FALSE(TerminateByExecutableField(run.context, "C:\\Program Files\\Q\\ZdnNCC.exe"));
  EXPECT_FALSE(TerminateByExecutableField(run.context, "ZdnNCC.ex"));
  EXPECT_TRUE(effects.endedNames.empty());
  EXPECT_FALSE(target.EndsWithin(0));

  const auto attempt = TerminateByExecutableField(run.context, "zDNncc.EXE");
  ASSERT_TRUE(attempt);
  EXPECT_EQ(attempt->processId, target.Id());
  EXPECT_EQ(attempt->error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(target.EndsWithin(5000));
  EXPECT_EQ(effects.endedNames, std::vector<std::string>{"zDNncc.EXE"});
}

namespace {

DWORD RefuseOpen(DWORD, const std::string&, Effects&) { return ERROR_ACCESS_DENIED; }

// A demand-start service created and started for a test; stopped and deleted at the end.
class InstalledService {
 public:
  // dependencies: the services this one depends on, each followed by a NUL.
  InstalledService(const std::string& name, const std::string& commandLine, DWORD startType = SERVICE_DEMAND_START,
                   const std::string& dependencies = {})
      : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)),
        service_(CreateServiceA(manager_.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_IGNORE, commandLine.c_str(),
                                nullptr, nullptr, dependencies.empty() ? nullptr : (dependencies + '\0').c_str(),
                                nullptr, nullptr)) {
    if (StartServiceA(service_.Get(), 0, nullptr)) AwaitState(SERVICE_RUNNING);
  }
  SC_HANDLE Handle() const { return service_.Get(); }
  ~InstalledService() {
    SERVICE_STATUS status{};
    if (ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status)) AwaitState(SERVICE_STOPPED);
    DeleteService(service_.Get());
  }
  SERVICE_STATUS_PROCESS Status() const {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                         &needed);
    return status;
  }

 private:
  void AwaitState(DWORD state) const {
    for (int attempt = 0; attempt < 100 && Status().dwCurrentState != state; ++attempt) Sleep(50);
  }
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
};

}  // namespace

TEST_F(ProcessTermination, ARefusedTerminationIsOneLineWithTheSystemsReasonAndCounts) {
  struct Case {
    const char* standsFor;
    DWORD (*terminate)(DWORD, const std::string&, Effects&);
    bool refuseEnd;
  };
  const Case cases[] = {
      {"OpenProcess refused: a protected process, or another session's process without SeDebugPrivilege",
       RefuseOpen, false},
      {"TerminateProcess refused: a self-protecting product whose driver strips terminate access from handles",
       TerminateProcessById, true},
  };
  passes.realPause = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.standsFor);
    StartedProcess target(process_tests::CopySleeperAs(folder.Path(), "ZdnM.exe"), "60");
    ASSERT_TRUE(process_tests::WaitUntilListed({target.Id()}));
    CountingEffects effects;
    effects.refuseEnd = c.refuseEnd;
    TestRun run(effects);
    OpenTrace(run, true);
    ProcessTerminationServices services = Counted();
    services.terminate = c.terminate;
    TerminateProductProcesses(run.context, services);

    EXPECT_FALSE(target.EndsWithin(0));
    const std::string line = "Could NOT end process ZdnM.exe (" + std::to_string(target.Id()) +
                             "): " + SystemErrorText(ERROR_ACCESS_DENIED);
    EXPECT_EQ(run.reporter.infoLines, std::vector<std::string>{line});  // once, not once per pass
    EXPECT_EQ(run.context.outcome.ExitCode(), 1);
  }
}

TEST_F(ProcessTermination, AServiceIsStoppedThroughTheManagerOrElseEndedAndNothingIsReported) {
  struct Case {
    const char* standsFor;
    bool refuseStop;
  };
  const Case cases[] = {
      {"a service the manager stops", false},
      {"a service whose security refuses this user SERVICE_STOP: its process is ended instead", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.standsFor);
    const std::string exe = process_tests::CopySleeperAs(folder.Path(), "ZdnS.exe", "marker_service.exe");
    const std::string marker = folder / "stopped.txt";
    DeleteFileA(marker.c_str());
    const std::string name = "VelmoraZdnSTest" + std::to_string(GetCurrentProcessId());
    const InstalledService service(name, "\"" + exe + "\" \"" + marker + "\" " + name);
    ASSERT_EQ(service.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(process_tests::WaitUntilListed({service.Status().dwProcessId}));

    CountingEffects effects;
    effects.refuseStop = c.refuseStop;
    TestRun run(effects);
    OpenTrace(run, true);
    TerminateProductProcesses(run.context, Counted());

    EXPECT_EQ(effects.stoppedServices, std::vector<std::string>{name});
    EXPECT_EQ(GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES, !c.refuseStop);
    EXPECT_EQ(effects.endedNames.empty(), !c.refuseStop);
    // No line: the process did not survive. Wine's manager does not see a service's process
    // die (Windows' marks the service stopped), so the state is checked after a stop only.
    EXPECT_TRUE(run.reporter.infoLines.empty());
    if (!c.refuseStop) {
      EXPECT_EQ(service.Status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
    EXPECT_EQ(run.context.outcome.ExitCode(), 0);
    EXPECT_EQ(CountOf(TraceOf(run), "Service " + name + " of ZdnS.exe stopped"), c.refuseStop ? 0u : 1u);
  }
}

TEST(RunningExecutableLocaleOrder, IgnoresCaseAndSortsLettersTogether) {
  EXPECT_EQ(CompareInUserLocaleIgnoringCase("zdnm.exe", "ZDNM.EXE"), 0);
  EXPECT_LT(CompareInUserLocaleIgnoringCase("apple.exe", "Banana.exe"), 0);
  EXPECT_GT(CompareInUserLocaleIgnoringCase("ZdnS.exe", "ZdnM.exe"), 0);
  EXPECT_LT(CompareInUserLocaleIgnoringCase("ZdnM.exe", "ZdnM.exe.bak"), 0);
  EXPECT_EQ(BuildRunningExecutableList({"ZdnS.exe", "b.exe", "ZDNM.EXE", "A.exe", "zdnm.exe", "zdns.EXE"},
                                       CompareInUserLocaleIgnoringCase),
            (std::vector<std::string>{"A.exe", "b.exe", "ZDNM.EXE", "ZdnS.exe"}));
}

namespace {

// Stands for Windows' EnumDependentServices, which Wine's manager does not carry out.
std::string listedDependent;
std::vector<std::string> ListedDependent(SC_HANDLE) { return {listedDependent}; }
// Stands for a service Windows starts as a protected anti-malware process (8.1 and later).
bool ProtectedService(SC_HANDLE) { return true; }

ServiceSettings SettingsOf(SC_HANDLE service) {
  ServiceSettings settings;
  EXPECT_EQ(ReadServiceSettings(service, settings), static_cast<DWORD>(ERROR_SUCCESS));
  return settings;
}

}  // namespace

// A product's service is disabled and loses its recovery actions before it is stopped, so
// that neither a restart of Windows nor the manager brings it back; a service that depends
// on it (which would make its stop fail) is stopped first. Wine's manager keeps the start
// type and stops both services through their handlers; it keeps no failure actions, so that
// they are cleared shows in what the gateway was asked to set.
TEST_F(ProcessTermination, AProductServiceIsDisabledWithoutRecoveryAndStoppedAfterItsDependents) {
  const std::string exe = process_tests::CopySleeperAs(folder.Path(), "ZdnS.exe", "marker_service.exe");
  const std::string helper = process_tests::CopySleeperAs(folder.Path(), "QrvHelper.exe", "marker_service.exe");
  const std::string tag = std::to_string(GetCurrentProcessId());
  const std::string name = "VelmoraZdnSMain" + tag, dependent = "VelmoraZdnSDependent" + tag;
  const std::string marker = folder / "main.txt", dependentMarker = folder / "dependent.txt";
  const InstalledService service(name, "\"" + exe + "\" \"" + marker + "\" " + name, SERVICE_AUTO_START);
  ServiceSettings recovering;
  recovering.startType = SERVICE_AUTO_START;
  recovering.resetPeriod = 86400;
  recovering.actions = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}};
  const DWORD written = WriteServiceSettings(service.Handle(), recovering);
  ASSERT_TRUE(written == ERROR_SUCCESS || written == ERROR_INVALID_LEVEL) << written;
  const InstalledService dependentService(dependent, "\"" + helper + "\" \"" + dependentMarker + "\" " + dependent,
                                          SERVICE_DEMAND_START, name);
  ASSERT_EQ(dependentService.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  ASSERT_TRUE(process_tests::WaitUntilListed({service.Status().dwProcessId}));
  const ServiceSettings before = SettingsOf(service.Handle());

  CountingEffects effects;
  TestRun run(effects);
  OpenTrace(run, true);
  ProcessTerminationServices services = Counted();
  listedDependent = dependent;
  services.dependentsOf = ListedDependent;
  TerminateProductProcesses(run.context, services);

  EXPECT_EQ(effects.configuredServices, std::vector<std::string>{name});
  EXPECT_EQ(effects.configuredSettings, std::vector<ServiceSettings>{DisabledServiceSettings()});
  EXPECT_EQ(effects.stoppedServices, (std::vector<std::string>{dependent, name}));
  EXPECT_NE(GetFileAttributesA(dependentMarker.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  const ServiceSettings after = SettingsOf(service.Handle());
  EXPECT_EQ(after.startType, kServiceDisabled);
  EXPECT_TRUE(after.actions.empty()) << "before the run: " << DescribeServiceSettings(before);
  EXPECT_EQ(before.startType, static_cast<std::uint32_t>(SERVICE_AUTO_START));
  EXPECT_TRUE(run.reporter.infoLines.empty());
  EXPECT_EQ(run.context.outcome.ExitCode(), 0);
}

// No administrator may stop, change or delete a service Windows protects: it and its
// process are left untouched, and the line says what will remove it.
TEST_F(ProcessTermination, AProtectedAntiMalwareServiceIsLeftAsItIsWithItsLine) {
  const std::string exe = process_tests::CopySleeperAs(folder.Path(), "ZdnS.exe", "marker_service.exe");
  const std::string name = "VelmoraZdnSProtected" + std::to_string(GetCurrentProcessId());
  const InstalledService service(name, "\"" + exe + "\" \"" + (folder / "stopped.txt") + "\" " + name);
  const DWORD processId = service.Status().dwProcessId;
  ASSERT_TRUE(process_tests::WaitUntilListed({processId}));

  CountingEffects effects;
  TestRun run(effects);
  ProcessTerminationServices services = Counted();
  services.isLaunchProtected = ProtectedService;
  passes.realPause = false;
  TerminateProductProcesses(run.context, services);

  EXPECT_TRUE(effects.configuredServices.empty());
  EXPECT_TRUE(effects.stoppedServices.empty());
  EXPECT_TRUE(effects.endedNames.empty());
  EXPECT_EQ(service.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(SettingsOf(service.Handle()).startType, static_cast<std::uint32_t>(SERVICE_DEMAND_START));
  EXPECT_EQ(run.reporter.infoLines,
            std::vector<std::string>{"Could NOT end process ZdnS.exe (" + std::to_string(processId) + "): service " +
                                     name + ", " + kProtectedServiceText});
  EXPECT_EQ(run.context.outcome.ExitCode(), 1);
}

// A product that hardened its service's security (stop and query granted, change refused)
// and strips terminate access from handles: the service would start again with Windows, so
// that is a line of its own, once however many passes try, beside the process's own line.
TEST_F(ProcessTermination, AServiceThatCannotBeDisabledIsOneLineOfItsOwn) {
  const std::string exe = process_tests::CopySleeperAs(folder.Path(), "ZdnS.exe", "marker_service.exe");
  const std::string name = "VelmoraZdnSHardened" + std::to_string(GetCurrentProcessId());
  const InstalledService service(name, "\"" + exe + "\" \"" + (folder / "stopped.txt") + "\" " + name);
  const DWORD processId = service.Status().dwProcessId;
  ASSERT_TRUE(process_tests::WaitUntilListed({processId}));

  CountingEffects effects;
  effects.refuseConfigure = effects.refuseStop = effects.refuseEnd = true;
  TestRun run(effects);
  passes.realPause = false;
  TerminateProductProcesses(run.context, Counted());

  EXPECT_EQ(effects.configuredServices.size(), static_cast<std::size_t>(kMaxTerminationPasses));
  const std::string denied = SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(run.reporter.infoLines,
            (std::vector<std::string>{kServiceNotDisabledText + name + " of ZdnS.exe: " + denied,
                                      "Could NOT end process ZdnS.exe (" + std::to_string(processId) + "): " + denied}));
  EXPECT_EQ(run.context.outcome.ExitCode(), 1);
}

// The wait follows what the service says of itself: a tenth of its wait hint between looks,
// never busier than ten a second nor slower than one.
TEST(ServiceStopPoll, IsATenthOfTheWaitHintWithinItsBounds) {
  const struct {
    DWORD hint;
    DWORD poll;
  } cases[] = {{0, 100}, {500, 100}, {1000, 100}, {3000, 300}, {10000, 1000}, {60000, 1000}};
  for (const auto& c : cases) EXPECT_EQ(ServiceStopPoll(c.hint), c.poll) << c.hint;
}
