#include "startup/command_switches.h"

#include "platform/text_rules.h"

namespace {

constexpr char kTraceSwitch[] = "/TL";
constexpr char kTraceAtSwitch[] = "/TL=";
constexpr char kQuietSwitch[] = "/Q";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

CommandSwitch ParseSwitch(const std::string& argument) {
  const std::string upper = UpperAscii(argument);
  if (upper == kTraceSwitch) return {SwitchKind::Trace, {}};
  if (upper == kQuietSwitch) return {SwitchKind::Quiet, {}};
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

bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  // \\server\share\...: a server name, then a share name, both not empty.
  if (path.size() < 5 || path[0] != '\\' || path[1] != '\\' || path[2] == '\\' || path[2] == '?' || path[2] == '.') {
    return false;
  }
  const std::size_t shareStart = path.find('\\', 2);
  return shareStart != std::string::npos && shareStart + 1 < path.size() && path[shareStart + 1] != '\\';
}
