#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/process_targets.h"
#include "engine/process_termination.h"
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
  EXPECT_EQ(passes.snapshots, 1);
  EXPECT_EQ(passes.pauses, 1);
  EXPECT_TRUE(effects.endedNames.empty());
  EXPECT_TRUE(TraceOf(run).empty());
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

  EXPECT_EQ(passes.pauses, 5);
  EXPECT_EQ(passes.snapshots, 20);  // each pass: the list, then the search for the process
  ASSERT_EQ(dryRun.actions.size(), 10u);
  for (const RecordedAction& action : dryRun.actions) {
    EXPECT_EQ(action.kind, RecordedAction::Kind::EndProcess);
    EXPECT_EQ(action.target, "ZdnNCC.exe");
    EXPECT_EQ(action.detail, std::to_string(kExitCodeWhenUnknown));
  }
  EXPECT_EQ(CountOf(TraceOf(run), "ZdnNCC.exe try to kill"), 10u);
  EXPECT_FALSE(target.EndsWithin(0));
}

TEST_F(ProcessTermination, AProductThatRestartsItselfIsTriedTenTimesAndTheRunGoesOn) {
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

  EXPECT_EQ(passes.pauses, 5);
  const std::vector<std::string> trace = TraceOf(run);
  EXPECT_EQ(CountOf(trace, "ZdnS.exe try to kill"), 10u);
  EXPECT_EQ(trace.size(), 10u);
  SetEvent(stop.Get());
  EXPECT_TRUE(respawner.EndsWithin(10000));
}

TEST_F(ProcessTermination, TheWholeExecutableFieldIsComparedIgnoringAsciiCase) {
  StartedProcess target(process_tests::CopySleeperAs(folder.Path(), "ZdnNCC.exe"), "60");
  ASSERT_TRUE(process_tests::WaitUntilListed({target.Id()}));
  CountingEffects effects;
  TestRun run(effects);

  TerminateByExecutableField(run.context, "C:\\Program Files\\Q\\ZdnNCC.exe");
  TerminateByExecutableField(run.context, "ZdnNCC.ex");
  EXPECT_TRUE(effects.endedNames.empty());
  EXPECT_FALSE(target.EndsWithin(0));

  TerminateByExecutableField(run.context, "zDNncc.EXE");
  EXPECT_TRUE(target.EndsWithin(5000));
  EXPECT_EQ(effects.endedNames, std::vector<std::string>{"zDNncc.EXE"});
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
