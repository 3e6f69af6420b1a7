#include "startup/command_switches.h"

#include <string_view>

#include "platform/text/text_rules.h"

namespace {

enum class Takes { Nothing, Value, Either };

struct SwitchName {
  std::string_view name;  // upper case, without "=" and value
  SwitchKind kind;
  Takes takes;
};

constexpr SwitchName kSwitches[] = {
    {"/TL", SwitchKind::Trace, Takes::Either},       {"/TLUTF8", SwitchKind::TraceUtf8, Takes::Either},
    {"/UTF8", SwitchKind::Utf8, Takes::Nothing},     {"/Q", SwitchKind::Quiet, Takes::Nothing},
    {"/ALLUSERS", SwitchKind::AllUsers, Takes::Nothing}, {"/R", SwitchKind::Restart, Takes::Nothing},
    {"/BACKUP", SwitchKind::Backup, Takes::Value},   {"/UNDO", SwitchKind::Undo, Takes::Value},
    {"/?", SwitchKind::Help, Takes::Nothing},        {"/HELP", SwitchKind::Help, Takes::Nothing},
    {"/VERSION", SwitchKind::Version, Takes::Nothing}, {"/DETECT", SwitchKind::Detect, Takes::Nothing},
    {"/REPORT", SwitchKind::Report, Takes::Value},   {"/DELETE", SwitchKind::Delete, Takes::Nothing},
    {"/DELLINK", SwitchKind::DelLink, Takes::Nothing}, {"/NOKILL", SwitchKind::NoKill, Takes::Nothing},
    {"/OVERNEWER", SwitchKind::OverNewer, Takes::Nothing},
};

// The [Options] keys of the settings file, which the command line may set as KEY=1 or KEY=0.
struct PropertyName {
  std::string_view key;
  std::optional<bool> CommandLineChoices::*field;
};

constexpr PropertyName kProperties[] = {
    {"DELETE", &CommandLineChoices::optDelete},
    {"DEL_LINK", &CommandLineChoices::optDelLink},
    {"KILLPROCESS", &CommandLineChoices::optKillProcess},
    {"ALL_USERS", &CommandLineChoices::optAllUsers},
    {"DELETE_AT_RESTART", &CommandLineChoices::optDeleteAtRestart},
};

// A second value for the same switch must be the same value: which one was meant cannot be told.
bool SetOnce(std::string& field, bool& given, const std::string& value) {
  if (given && field != value) return false;
  field = value;
  given = true;
  return true;
}

class Reader {
 public:
  void Argument(const std::string& argument) {
    if (!choices_.problem.empty()) return;
    if (!argument.empty() && argument[0] == '-') return Fail("Unknown switch: " + argument);
    if (argument.empty() || argument[0] != '/') return Property(argument);
    const CommandSwitch given = ParseSwitch(argument);
    if (given.kind == SwitchKind::None) return Fail(UnknownSwitch(argument));
    Apply(argument, given);
  }

  CommandLineChoices Finish() {
    if (!choices_.problem.empty()) return choices_;
    CommandLineChoices& c = choices_;
    if (!c.undoFolder.empty() && !c.backupFolder.empty()) Fail("/UNDO and /BACKUP cannot be used together");
    else if (c.detect && !c.undoFolder.empty()) Fail("/DETECT and /UNDO cannot be used together");
    else if (c.detect && !c.backupFolder.empty()) Fail("/DETECT changes nothing and keeps no backup: drop /BACKUP");
    else if (c.overNewer && c.undoFolder.empty()) Fail("/OVERNEWER is for undo only: /UNDO=DIR\\RUN /OVERNEWER");
    else if (utf8Alone_ && !c.traceOn) Fail("/UTF8 needs the trace log: /TL or /TL=PATH");
    return c;
  }

 private:
  void Fail(const std::string& problem) {
    if (choices_.problem.empty()) choices_.problem = problem;
  }

  static std::string UnknownSwitch(const std::string& argument) {
    const std::string upper = UpperAscii(argument);
    for (const SwitchName& known : kSwitches) {
      const std::string_view name = known.name;
      if (upper.size() > name.size() && upper.compare(0, name.size(), name) == 0 && upper[name.size()] == '=') {
        if (known.takes == Takes::Nothing) return argument.substr(0, name.size()) + " takes no value: " + argument;
        return argument.substr(0, name.size()) + " needs a value after \"=\": " + argument;
      }
      if (upper == name && known.takes == Takes::Value) {
        return argument + " needs a value: " + argument + "=...";
      }
    }
    return "Unknown switch: " + argument;
  }

  void Property(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (equals != std::string::npos) {
      const std::string key = UpperAscii(argument.substr(0, equals));
      const std::string value = argument.substr(equals + 1);
      for (const PropertyName& property : kProperties) {
        if (key != property.key) continue;
        if (value != "0" && value != "1") return Fail(argument + ": the value must be 1 or 0");
        (choices_.*property.field) = value == "1";
        return;
      }
    }
    Fail("Unexpected word: " + argument + " (a value with blanks must be quoted)");
  }

  void Apply(const std::string& argument, const CommandSwitch& given) {
    CommandLineChoices& c = choices_;
    const auto value = [&](std::string& field, bool& seen) {
      if (!SetOnce(field, seen, given.value)) Fail(argument + ": given twice with different values");
    };
    switch (given.kind) {
      case SwitchKind::TraceUtf8: c.traceUtf8 = true; [[fallthrough]];
      case SwitchKind::Trace:
        c.traceOn = true;
        value(c.tracePath, traceSeen_);
        break;
      case SwitchKind::Utf8: c.traceUtf8 = true; utf8Alone_ = true; break;
      case SwitchKind::Quiet: c.quiet = true; break;
      case SwitchKind::AllUsers: c.allUsers = true; break;
      case SwitchKind::Restart: c.restart = true; break;
      case SwitchKind::Backup: value(c.backupFolder, backupSeen_); break;
      case SwitchKind::Undo: value(c.undoFolder, undoSeen_); break;
      case SwitchKind::Help: c.help = true; break;
      case SwitchKind::Version: c.version = true; break;
      case SwitchKind::Detect: c.detect = true; break;
      case SwitchKind::Report: value(c.reportPath, reportSeen_); break;
      case SwitchKind::Delete: c.optDelete = true; break;
      case SwitchKind::DelLink: c.optDelLink = true; break;
      case SwitchKind::NoKill: c.optKillProcess = false; break;
      case SwitchKind::OverNewer: c.overNewer = true; break;
      case SwitchKind::None: break;
    }
  }

  CommandLineChoices choices_;
  bool traceSeen_ = false, backupSeen_ = false, undoSeen_ = false, reportSeen_ = false, utf8Alone_ = false;
};

}  // namespace

CommandSwitch ParseSwitch(const std::string& argument) {
  const std::string upper = UpperAscii(argument);
  for (const SwitchName& known : kSwitches) {
    const std::string_view name = known.name;
    if (upper == name && known.takes != Takes::Value) return {known.kind, {}, false};
    const bool withValue =
        upper.size() > name.size() + 1 && upper.compare(0, name.size(), name) == 0 && upper[name.size()] == '=';
    if (withValue && known.takes != Takes::Nothing) return {known.kind, argument.substr(name.size() + 1), true};
  }
  return {};
}

CommandLineChoices ParseCommandLine(const std::vector<std::string>& arguments) {
  Reader reader;
  for (const std::string& argument : arguments) reader.Argument(argument);
  return reader.Finish();
}

bool QuietRequested(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (ParseSwitch(argument).kind == SwitchKind::Quiet) return true;
  }
  return false;
}

std::string ReportPathRequested(const std::vector<std::string>& arguments) {
  std::string path;
  for (const std::string& argument : arguments) {
    const CommandSwitch given = ParseSwitch(argument);
    if (given.kind != SwitchKind::Report) continue;
    if (!path.empty() && path != given.value) return {};
    path = given.value;
  }
  return path;
}

std::string UsageText() {
  return "Cleaner.exe [/Q] [/TL | /TL=PATH [/UTF8] | /TLUTF8[=PATH]] [/ALLUSERS] [/R]\r\n"
         "            [/BACKUP=DIR | /UNDO=DIR\\RUN [/OVERNEWER]] [/DETECT] [/REPORT=PATH]\r\n"
         "            [/DELETE] [/DELLINK] [/NOKILL] [KEY=1|0 ...]\r\n"
         "\r\n"
         "  /Q            no window and no box; runs unattended\r\n"
         "  /TL[=PATH]    the trace log (VC.LOG in the current folder, or PATH)\r\n"
         "  /UTF8         the trace log in UTF-8 (also /TLUTF8[=PATH])\r\n"
         "  /ALLUSERS     every user's profile as well\r\n"
         "  /R            files in use are deleted at the next restart\r\n"
         "  /BACKUP=DIR   keep every change in DIR before it is made\r\n"
         "  /UNDO=DIR     put back what the run kept in DIR changed\r\n"
         "  /OVERNEWER    with /UNDO: put it back even over a newer installation\r\n"
         "  /DETECT       change nothing; exit 0 when nothing of the product is left, else 1\r\n"
         "  /REPORT=PATH  a JSON document of the run\r\n"
         "  /DELETE       delete files and folders (DELETE=1)\r\n"
         "  /DELLINK      delete the Start Menu links (DEL_LINK=1)\r\n"
         "  /NOKILL       do not end the product's processes (KILLPROCESS=0)\r\n"
         "  KEY=1|0       DELETE, DEL_LINK, KILLPROCESS, ALL_USERS, DELETE_AT_RESTART\r\n"
         "  /VERSION      the program's version\r\n"
         "  /? /HELP      this text\r\n"
         "\r\n"
         "A value with blanks must be quoted: \"/TL=C:\\My Logs\\run.log\".\r\n"
         "Exit codes: 0 done, 1 something stayed, 2 error, 3010 restart needed,\r\n"
         "1618 another instance runs, 1622 the trace log cannot be opened, 1639 invalid command line.\r\n";
}
