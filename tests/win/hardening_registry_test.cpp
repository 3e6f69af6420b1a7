#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/cleaner_context.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run/registry_actions.h"
#include "platform/handles.h"
#include "report/trace_log.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/scratch_key.h"

namespace {

using LiveRun = EngineTestContext;

UniqueHKey CreateBelow(HKEY parent, const std::string& name) {
  UniqueHKey key;
  EXPECT_EQ(RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
            ERROR_SUCCESS)
      << name;
  return key;
}

UniqueHKey OpenBelow(HKEY parent, const std::string& name) {
  UniqueHKey key;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return UniqueHKey();
  return key;
}

// Levels made one below the other through the parent's handle, each with a value, so the
// full path (over a thousand characters) is never handed to the registry in one piece.
// Answers how many levels can be opened again from the top, the same way.
int BuildChain(HKEY top, int levels) {
  UniqueHKey parent = CreateBelow(top, "Level0");
  for (int level = 1; level < levels; ++level) {
    const DWORD number = static_cast<DWORD>(level);
    RegSetValueExA(parent.Get(), "Depth", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    parent = CreateBelow(parent.Get(), "Level" + std::to_string(level));
  }
  int reached = 0;
  UniqueHKey at = OpenBelow(top, "Level0");
  while (at.Valid()) {
    ++reached;
    at = OpenBelow(at.Get(), "Level" + std::to_string(reached));
  }
  return reached;
}

}  // namespace

TEST(HardeningRegistry, TreeTwoHundredLevelsDeepIsDeletedWholeAndItsSiblingStays) {
  ScratchKey scratch("hard_deep");
  scratch.Create("Deep");
  scratch.SetString("Sibling", "Mark", "stays");
  {
    UniqueHKey deep;
    ASSERT_EQ(RegOpenKeyExA(scratch.Root(), (scratch / "Deep").c_str(), 0, KEY_ALL_ACCESS, deep.Put()),
              ERROR_SUCCESS);
    ASSERT_EQ(BuildChain(deep.Get(), 200), 200) << "the test tree itself is not 200 levels deep";
  }
  LiveRun run;
  DeleteRegistryKeyEntry(run.context, "HKEY_CURRENT_USER\\" + (scratch / "Deep"));
  EXPECT_FALSE(scratch.Exists("Deep"));
  EXPECT_TRUE(scratch.HasValue("Sibling", "Mark"));
  EXPECT_TRUE(run.reporter.infoLines.empty());
  EXPECT_EQ(run.context.outcome.notRemoved, 0);
}

TEST(HardeningRegistry, KeyWithFiftyThousandValuesIsDeletedWithEveryValue) {
  constexpr int kValues = 50000;
  ScratchKey scratch("hard_values");
  scratch.SetString("", "Mark", "parent stays");
  {
    const UniqueHKey many = CreateBelow(scratch.Root(), scratch / "Many");
    const std::string text = "C:\\Program Files\\Velmora\\QRV\\module.dll";
    for (int i = 0; i < kValues; ++i) {
      const std::string name = "Value" + std::to_string(i);
      ASSERT_EQ(RegSetValueExA(many.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1)),
                ERROR_SUCCESS)
          << name;
    }
    CreateBelow(many.Get(), "Child");
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(many.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(values, static_cast<DWORD>(kValues));
  }
  LiveRun run;
  DeleteRegistryKeyEntry(run.context, "HKEY_CURRENT_USER\\" + (scratch / "Many"));
  EXPECT_FALSE(scratch.Exists("Many"));
  EXPECT_TRUE(scratch.HasValue("", "Mark"));
  // A key made again under the same name starts without any of the old values.
  scratch.Create("Many");
  EXPECT_FALSE(scratch.HasValue("Many", "Value0"));
  EXPECT_FALSE(scratch.HasValue("Many", "Value49999"));
  EXPECT_EQ(run.context.outcome.notRemoved, 0);
}
