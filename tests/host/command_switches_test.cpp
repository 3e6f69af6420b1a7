#include "startup/command_switches.h"

#include <gtest/gtest.h>

TEST(CommandSwitches, AreKnownInAnyLetterCaseAndKeepTheirValueAsWritten) {
  const struct {
    const char* argument;
    SwitchKind kind;
    const char* value;
  } cases[] = {
      {"/TL", SwitchKind::Trace, ""},          {"/tl", SwitchKind::Trace, ""},
      {"/Tl=C:\\Logs\\Run.log", SwitchKind::Trace, "C:\\Logs\\Run.log"},
      {"/q", SwitchKind::Quiet, ""},           {"/Q", SwitchKind::Quiet, ""},
      {"/TLX", SwitchKind::None, ""},          {"/QQ", SwitchKind::None, ""},
      {"-Q", SwitchKind::None, ""},            {"Q", SwitchKind::None, ""},
      {"/TL ", SwitchKind::None, ""},          {"", SwitchKind::None, ""},
  };
  for (const auto& c : cases) {
    const CommandSwitch parsed = ParseSwitch(c.argument);
    EXPECT_EQ(parsed.kind, c.kind) << c.argument;
    EXPECT_EQ(parsed.value, c.value) << c.argument;
  }
  EXPECT_TRUE(QuietRequested({"Cleaner.exe", "/TL", "/q"}));
  EXPECT_FALSE(QuietRequested({"Cleaner.exe", "/TL"}));
}

TEST(CommandSwitches, AFullPathNamesOnePlaceWhateverTheCurrentFolder) {
  const struct {
    const char* path;
    bool full;
  } cases[] = {
      {"C:\\Logs\\run.log", true}, {"z:\\run.log", true},     {"\\\\server\\share\\run.log", true},
      {"run.log", false},          {"C:run.log", false},      {"\\run.log", false},
      {"\\\\server", false},       {"\\\\server\\", false},   {"\\\\?\\C:\\run.log", false},
      {"\\\\.\\C:\\run.log", false}, {"1:\\run.log", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsFullPath(c.path), c.full) << c.path;
}
