#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/undo.h"
#include "platform/handles.h"
#include "platform/processes/service_control.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"

namespace {

// A stopped service of Wine's manager with recovery actions, as a product installs its own.
class RecoveringService {
 public:
  explicit RecoveringService(const std::string& name)
      : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)),
        service_(CreateServiceA(manager_.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                "C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr, nullptr)) {}
  ~RecoveringService() { DeleteService(service_.Get()); }
  SC_HANDLE Handle() const { return service_.Get(); }
  ServiceSettings Settings() const {
    ServiceSettings settings;
    EXPECT_EQ(ReadServiceSettings(service_.Get(), settings), static_cast<DWORD>(ERROR_SUCCESS));
    return settings;
  }

 private:
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
};

std::string OnlyRunFolder(const std::string& backup) {
  WIN32_FIND_DATAA found{};
  const UniqueFind find(FindFirstFileA((backup + "\\2*").c_str(), &found));
  return find ? backup + "\\" + found.cFileName : std::string();
}

}  // namespace

// The settings a run gives a product's service are journaled before the change, and undo
// sets the service back as it was; undo again finds it so and changes nothing. Settings
// someone changed after the run are theirs: undo leaves them, with a line.
TEST(ServiceSettingsBackup, UndoPutsTheStartTypeAndRecoveryBackOnlyOverWhatTheRunSet) {
  for (const bool changedSince : {false, true}) {
    SCOPED_TRACE(changedSince ? "changed after the run" : "as the run left it");
    ScratchFolder folder{"svcundo"};
    const std::string name = "VelmoraUndoSvc" + std::to_string(GetCurrentProcessId());
    const RecoveringService service(name);
    // Wine's manager takes failure actions and keeps none: there the start type alone shows
    // the round trip; the journal's byte form of the actions is tested on the host.
    ServiceSettings original;
    original.startType = SERVICE_AUTO_START;
    original.resetPeriod = 3600;
    original.actions = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_NONE, 0}};
    ASSERT_EQ(WriteServiceSettings(service.Handle(), original), static_cast<DWORD>(ERROR_SUCCESS));
    const ServiceSettings before = service.Settings();
    ASSERT_EQ(before.startType, original.startType);

    BackupEffects backup(LiveEffects::Instance());
    std::vector<std::string> refused;
    backup.BeginRun(folder / "backup", [&](const std::string& line) { refused.push_back(line); }, nullptr);
    ASSERT_EQ(backup.ConfigureService(service.Handle(), name, DisabledServiceSettings()),
              static_cast<DWORD>(ERROR_SUCCESS));
    backup.EndRun();
    EXPECT_EQ(refused, std::vector<std::string>{});
    EXPECT_EQ(service.Settings(), DisabledServiceSettings());
    const std::string run = OnlyRunFolder(folder / "backup");
    ASSERT_FALSE(run.empty());
    EXPECT_NE(ReadBytes(run + "\\journal.txt").find("\tservice-settings\t" + name + "\t"), std::string::npos);

    ServiceSettings someoneElses = DisabledServiceSettings();
    someoneElses.startType = SERVICE_DEMAND_START;
    if (changedSince) {
      ASSERT_EQ(WriteServiceSettings(service.Handle(), someoneElses), static_cast<DWORD>(ERROR_SUCCESS));
    }
    for (int round = 0; round < 2; ++round) {
      EngineTestContext undo;
      RunUndo(undo.context, run);
      EXPECT_EQ(service.Settings(), changedSince ? someoneElses : before) << round;
      const std::vector<std::string> lines =
          changedSince ? std::vector<std::string>{std::string(kNotRestoredExistsText) + "service " + name}
                       : std::vector<std::string>{};
      EXPECT_EQ(undo.reporter.infoLines, lines) << round;
    }
  }
}
