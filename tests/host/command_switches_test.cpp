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
      {"/AllUsers", SwitchKind::AllUsers, ""}, {"/ALLUSERS=1", SwitchKind::None, ""},
      {"/TLX", SwitchKind::None, ""},          {"/QQ", SwitchKind::None, ""},
      {"-Q", SwitchKind::None, ""},            {"Q", SwitchKind::None, ""},
      {"/TL ", SwitchKind::None, ""},          {"", SwitchKind::None, ""},
      {"/r", SwitchKind::Restart, ""},         {"/R", SwitchKind::Restart, ""},
      {"/RR", SwitchKind::None, ""},           {"/R=1", SwitchKind::None, ""},
      {"/backup=D:\\Keep", SwitchKind::Backup, "D:\\Keep"}, {"/BACKUP", SwitchKind::None, ""},
      {"/Undo=D:\\Keep\\2026-12-07_15-30-00", SwitchKind::Undo, "D:\\Keep\\2026-12-07_15-30-00"},
  };
  for (const auto& c : cases) {
    const CommandSwitch parsed = ParseSwitch(c.argument);
    EXPECT_EQ(parsed.kind, c.kind) << c.argument;
    EXPECT_EQ(parsed.value, c.value) << c.argument;
  }
  EXPECT_TRUE(QuietRequested({"Cleaner.exe", "/TL", "/q"}));
  EXPECT_FALSE(QuietRequested({"Cleaner.exe", "/TL"}));
}
