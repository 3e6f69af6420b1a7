#include "startup/command_switches.h"

#include "platform/text_rules.h"

namespace {

constexpr char kTraceSwitch[] = "/TL";
constexpr char kTraceAtSwitch[] = "/TL=";
constexpr char kQuietSwitch[] = "/Q";
constexpr char kAllUsersSwitch[] = "/ALLUSERS";
constexpr char kRestartSwitch[] = "/R";
constexpr char kBackupSwitch[] = "/BACKUP=";
constexpr char kUndoSwitch[] = "/UNDO=";

bool StartsWith(const std::string& upper, const char* prefix) { return upper.rfind(prefix, 0) == 0; }

}  // namespace

CommandSwitch ParseSwitch(const std::string& argument) {
  const std::string upper = UpperAscii(argument);
  if (upper == kTraceSwitch) return {SwitchKind::Trace, {}};
  if (upper == kQuietSwitch) return {SwitchKind::Quiet, {}};
  if (upper == kAllUsersSwitch) return {SwitchKind::AllUsers, {}};
  if (upper == kRestartSwitch) return {SwitchKind::Restart, {}};
  if (StartsWith(upper, kBackupSwitch)) return {SwitchKind::Backup, argument.substr(sizeof kBackupSwitch - 1)};
  if (StartsWith(upper, kUndoSwitch)) return {SwitchKind::Undo, argument.substr(sizeof kUndoSwitch - 1)};
  const std::string traceAt = kTraceAtSwitch;
  if (upper.compare(0, traceAt.size(), traceAt) == 0) return {SwitchKind::Trace, argument.substr(traceAt.size())};
  return {};
}

bool QuietRequested(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (ParseSwitch(argument).kind == SwitchKind::Quiet) return true;
  }
  return false;
}
