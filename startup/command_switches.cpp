#include "startup/command_switches.h"

#include "platform/text_rules.h"

namespace {

constexpr char kTraceSwitch[] = "/TL";
constexpr char kTraceAtSwitch[] = "/TL=";
constexpr char kQuietSwitch[] = "/Q";
constexpr char kAllUsersSwitch[] = "/ALLUSERS";
constexpr char kRestartSwitch[] = "/R";

}  // namespace

CommandSwitch ParseSwitch(const std::string& argument) {
  const std::string upper = UpperAscii(argument);
  if (upper == kTraceSwitch) return {SwitchKind::Trace, {}};
  if (upper == kQuietSwitch) return {SwitchKind::Quiet, {}};
  if (upper == kAllUsersSwitch) return {SwitchKind::AllUsers, {}};
  if (upper == kRestartSwitch) return {SwitchKind::Restart, {}};
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
