#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/processes/process_services.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

namespace {

std::size_t CountListed(const std::string& exeName) {
  const std::vector<ProcessEntry> snapshot = TakeProcessSnapshot();
  return static_cast<std::size_t>(std::count_if(snapshot.begin(), snapshot.end(),
                                                [&](const ProcessEntry& entry) { return entry.exeFile == exeName; }));
}

bool AwaitListed(const std::string& exeName, std::size_t count) {
  for (int attempt = 0; attempt < 200 && CountListed(exeName) < count; ++attempt) Sleep(50);
  return CountListed(exeName) >= count;
}

// respawner.exe keeps two copies of a product program running and starts a new one as soon
// as one is ended, until it is told to stop.
class Respawner {
 public:
  Respawner(const std::string& folder, const std::string& exeName)
      : eventName_("CleanerHardeningRespawn" + std::to_string(GetCurrentProcessId())),
        stop_(CreateEventA(nullptr, TRUE, FALSE, eventName_.c_str())) {
    const std::string child = folder + "\\" + exeName;
    if (!stop_ || !CopyFileA(HelperPath("sleeper.exe").c_str(), child.c_str(), FALSE)) {
      throw std::runtime_error("cannot prepare " + child);
    }
    std::string commandLine = "\"" + HelperPath("respawner.exe") + "\" \"" + child + "\" " + eventName_ + " 120";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
      throw std::runtime_error("cannot start respawner.exe");
    }
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
  }
  ~Respawner() {
    SetEvent(stop_.Get());
    if (WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process_.Get(), 1);
  }
  Respawner(const Respawner&) = delete;
  Respawner& operator=(const Respawner&) = delete;
  bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

 private:
  std::string eventName_;
  UniqueKernelHandle stop_;
  UniqueKernelHandle process_;
};

}  // namespace

// A product process that is started again each time it is ended: every one of the ten
// passes finds it and tries to end it, the copies still running after a last look are
// reported, then the run goes on with the rule pass and the rest, and exits with 1.
TEST(HardeningRespawner, ProductRestartingItselfIsTriedTenTimesReportedThenTheRunGoesOnAndEnds) {
  ScratchFolder folder("hard_respawn");
  ScratchKey key("hard_respawn");
  key.SetString("Target", "Mark", "goes");
  const Respawner respawner(folder.Path(), "ZdnM.exe");
  ASSERT_TRUE(AwaitListed("ZdnM.exe", 2));

  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\" + key.Path() + "\\Target", "[Registry_Delete_End]"});
  cleaner.WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n");
  const CleanerExit exit = cleaner.Run("/TL");

  ASSERT_TRUE(exit.finished);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_TRUE(respawner.Running()) << "the product was not restarting itself all along";
  EXPECT_FALSE(key.Exists("Target"));
  const std::vector<std::string> log = cleaner.LogMessages();
  const auto opened = std::find(log.begin(), log.end(), cleaner / "Do_list.dat opened");
  ASSERT_NE(opened, log.end());
  EXPECT_EQ(std::count(log.begin(), opened, std::string("ZdnM.exe try to kill")), 10);
  // The respawner keeps two copies running: one line each, right after the ten attempts.
  ASSERT_GE(std::distance(log.begin(), opened), 12);
  for (auto line = opened - 2; line != opened; ++line) {
    EXPECT_TRUE(line->starts_with("Could NOT end process ZdnM.exe (") && line->ends_with("): still running"))
        << *line;
  }
  EXPECT_EQ(std::vector<std::string>(opened + 1, log.end()),
            (std::vector<std::string>{"Removed key HKEY_CURRENT_USER\\" + key.Path() + "\\Target", "DeleteRegKey 2",
                                      "Registry clean complete"}));
  EXPECT_EQ(exit.exitCode, 1u);
}
