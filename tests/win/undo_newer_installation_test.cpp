#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/newer_installation.h"
#include "backup/undo.h"
#include "platform/errors.h"
#include "platform/registry/registry_accessor.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/wine_test_support.h"

namespace {

// The product's Uninstall entry, removed by a backed-up run; then, as the case says, installed
// again before the undo. Undo puts nothing back over a newer installation without /OVERNEWER,
// and says why; where nothing came back it puts the entry back as before.
TEST(UndoOverANewerInstallation, NothingGoesBackOverItUnlessTheSwitchSaysSo) {
  const struct {
    const char* standsFor;
    std::optional<std::string> reinstalled;  // the DisplayVersion installed since, if any
    bool overNewer;
    bool refused;
  } cases[] = {
      {"nothing installed since: the entry goes back", std::nullopt, false, false},
      {"the same version installed again since", "5.2.1", false, true},
      {"a newer version installed since", "6.0", false, true},
      {"a newer version installed since, undone with /OVERNEWER", "6.0", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standsFor);
    ScratchFolder scratch("newer");
    const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::string entry = uninstall + "\\VelmoraTestQRV_" + std::to_string(GetCurrentProcessId());
    TemporaryKey entryKey(HKEY_CURRENT_USER, entry);
    SeedStringValue(HKEY_CURRENT_USER, entry, "DisplayVersion", "5.2.1");
    SeedStringValue(HKEY_CURRENT_USER, entry, "Legacy", "old");

    std::string run;
    {
      BackupEffects backup(LiveEffects::Instance());
      EngineTestContext test(backup);
      backup.BeginRun(
          scratch / "Backup", [](const std::string&) {},
          [&](const std::string& line) { run = line.substr(std::string(kBackupFolderText).size()); });
      RegistryAccessor accessor(backup);
      accessor.SelectRoot(HKEY_CURRENT_USER);
      ASSERT_TRUE(accessor.DeleteKeyTree(WideFromAnsi(entry)).Deleted());
      backup.EndRun();
    }
    ASSERT_FALSE(run.empty());
    ASSERT_FALSE(KeyExistsForTest(HKEY_CURRENT_USER, entry));
    if (c.reinstalled) SeedStringValue(HKEY_CURRENT_USER, entry, "DisplayVersion", *c.reinstalled);

    EngineTestContext undo;
    undo.state.UndoOverNewer = c.overNewer;
    std::string refusal;
    try {
      RunUndo(undo.context, run);
    } catch (const Exception& e) {
      refusal = e.what();
    }
    EXPECT_EQ(refusal.starts_with(kUndoNewerInstallationText), c.refused) << refusal;
    if (c.refused) {
      EXPECT_NE(refusal.find(kOverNewerSwitch), std::string::npos) << refusal;
    }
    // The old installation's value goes back only where undo was not refused; what the newer
    // one holds is never overwritten.
    EXPECT_EQ(ValueExistsForTest(HKEY_CURRENT_USER, entry, "Legacy"), !c.refused);
    EXPECT_EQ(StringValueForTest(HKEY_CURRENT_USER, entry, "DisplayVersion"),
              c.refused || c.reinstalled ? c.reinstalled : std::optional<std::string>("5.2.1"));
  }
}

}  // namespace
