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
      {"/?", SwitchKind::Help, ""}, {"/TLUTF8", SwitchKind::TraceUtf8, ""}, {"/NoKill", SwitchKind::NoKill, ""},
      {"/REPORT", SwitchKind::None, ""}, {"/Detect=1", SwitchKind::None, ""},
      {"/Undo=D:\\Keep\\2026-12-07_15-30-00", SwitchKind::Undo, "D:\\Keep\\2026-12-07_15-30-00"},
  };
  for (const auto& c : cases) {
    const CommandSwitch parsed = ParseSwitch(c.argument);
    EXPECT_EQ(parsed.kind, c.kind) << c.argument;
    EXPECT_EQ(parsed.value, c.value) << c.argument;
  }
  EXPECT_TRUE(QuietRequested({"Cleaner.exe", "/TL", "/q"}));
  EXPECT_FALSE(QuietRequested({"Cleaner.exe", "/TL"}));
  // Read even from a command line that is not valid, so that its refusal is reported.
  EXPECT_EQ(ReportPathRequested({"/Q", "/BOGUS", "/report=C:\\r.json"}), "C:\\r.json");
  EXPECT_EQ(ReportPathRequested({"/REPORT=C:\\r.json", "/REPORT=C:\\r.json"}), "C:\\r.json");
  EXPECT_EQ(ReportPathRequested({"/REPORT=C:\\a.json", "/REPORT=C:\\b.json"}), "");
  EXPECT_EQ(ReportPathRequested({"/REPORT", "/TL=C:\\x.log"}), "");
}

namespace {

// What a command line asks for, in a form a table can state.
std::string Describe(const CommandLineChoices& c) {
  const auto option = [](const std::optional<bool>& o) { return o ? (*o ? "1" : "0") : "-"; };
  std::string text;
  if (c.traceOn) text += " trace=" + c.tracePath;
  if (c.traceUtf8) text += " utf8";
  if (c.quiet) text += " quiet";
  if (c.allUsers) text += " allusers";
  if (c.restart) text += " restart";
  if (!c.backupFolder.empty()) text += " backup=" + c.backupFolder;
  if (!c.undoFolder.empty()) text += " undo=" + c.undoFolder;
  if (c.overNewer) text += " overnewer";
  if (c.help) text += " help";
  if (c.version) text += " version";
  if (c.detect) text += " detect";
  if (!c.reportPath.empty()) text += " report=" + c.reportPath;
  text += std::string(" options=") + option(c.optDelete) + option(c.optDelLink) + option(c.optKillProcess) +
          option(c.optAllUsers) + option(c.optDeleteAtRestart);
  return text;
}

}  // namespace

TEST(CommandLine, ValidLinesInAnyOrderSayWhatTheyAskFor) {
  const struct {
    std::vector<std::string> arguments;
    const char* expected;
  } cases[] = {
      {{}, " options=-----"},
      {{"/Q", "/TL=C:\\L\\a.log"}, " trace=C:\\L\\a.log quiet options=-----"},
      {{"/tl=C:\\L\\a.log", "/q"}, " trace=C:\\L\\a.log quiet options=-----"},
      {{"/TL", "/TL"}, " trace= options=-----"},
      {{"/TL=C:\\My Logs\\q5.log"}, " trace=C:\\My Logs\\q5.log options=-----"},
      {{"/TLUTF8=C:\\L\\u.log"}, " trace=C:\\L\\u.log utf8 options=-----"},
      {{"/UTF8", "/TL=C:\\L\\u.log"}, " trace=C:\\L\\u.log utf8 options=-----"},
      {{"/backup=D:\\Keep", "/Q", "/TL=C:\\x.log"}, " trace=C:\\x.log quiet backup=D:\\Keep options=-----"},
      {{"/TL=C:\\x.log", "/BACKUP=D:\\Keep"}, " trace=C:\\x.log backup=D:\\Keep options=-----"},
      {{"/UNDO=D:\\Keep\\r1"}, " undo=D:\\Keep\\r1 options=-----"},
      {{"/overnewer", "/UNDO=D:\\Keep\\r1"}, " undo=D:\\Keep\\r1 overnewer options=-----"},
      {{"/?"}, " help options=-----"},
      {{"/Help"}, " help options=-----"},
      {{"/version"}, " version options=-----"},
      {{"/DETECT", "/TL=C:\\d.log"}, " trace=C:\\d.log detect options=-----"},
      {{"/REPORT=C:\\r.json"}, " report=C:\\r.json options=-----"},
      {{"/DELETE", "/DelLink", "/NOKILL"}, " options=110--"},
      {{"DELETE=1", "del_link=0", "KILLPROCESS=0", "ALL_USERS=1", "DELETE_AT_RESTART=1"}, " options=10011"},
      {{"/ALLUSERS", "/R"}, " allusers restart options=-----"},
  };
  for (const auto& c : cases) {
    const CommandLineChoices parsed = ParseCommandLine(c.arguments);
    const std::string where = testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.problem, "") << where;
    EXPECT_EQ(Describe(parsed), c.expected) << where;
  }
}

TEST(CommandLine, EveryMistakeMakesTheLineInvalidAndNamesWhatIsWrong) {
  const struct {
    std::vector<std::string> arguments;
    const char* problem;
  } cases[] = {
      {{"/QUIET"}, "Unknown switch: /QUIET"},
      {{"-Q"}, "Unknown switch: -Q"},
      {{"/S"}, "Unknown switch: /S"},
      {{"/qn"}, "Unknown switch: /qn"},
      {{"/TL=C:\\My", "Logs\\q5.log"}, "Unexpected word: Logs\\q5.log (a value with blanks must be quoted)"},
      {{"/Q", "extra"}, "Unexpected word: extra (a value with blanks must be quoted)"},
      {{"/BACKUP"}, "/BACKUP needs a value: /BACKUP=..."},
      {{"/Backup="}, "/Backup needs a value after \"=\": /Backup="},
      {{"/TL="}, "/TL needs a value after \"=\": /TL="},
      {{"/Q=1"}, "/Q takes no value: /Q=1"},
      {{"/UNDO=D:\\K\\r", "/BACKUP=D:\\K"}, "/UNDO and /BACKUP cannot be used together"},
      {{"/BACKUP=D:\\K", "/UNDO=D:\\K\\r"}, "/UNDO and /BACKUP cannot be used together"},
      {{"/DETECT", "/UNDO=D:\\K\\r"}, "/DETECT and /UNDO cannot be used together"},
      {{"/DETECT", "/BACKUP=D:\\K"}, "/DETECT changes nothing and keeps no backup: drop /BACKUP"},
      {{"/OVERNEWER"}, "/OVERNEWER is for undo only: /UNDO=DIR\\RUN /OVERNEWER"},
      {{"/OVERNEWER", "/BACKUP=D:\\K"}, "/OVERNEWER is for undo only: /UNDO=DIR\\RUN /OVERNEWER"},
      {{"/UTF8"}, "/UTF8 needs the trace log: /TL or /TL=PATH"},
      {{"/TL=C:\\a.log", "/TL=C:\\b.log"}, "/TL=C:\\b.log: given twice with different values"},
      {{"DELETE=yes"}, "DELETE=yes: the value must be 1 or 0"},
      {{"SILENT=1"}, "Unexpected word: SILENT=1 (a value with blanks must be quoted)"},
      {{"/TL", "/nonsense", "/Q"}, "Unknown switch: /nonsense"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCommandLine(c.arguments).problem, c.problem) << testing::PrintToString(c.arguments);
  }
}
