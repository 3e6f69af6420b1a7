#include "tools/capture/capture_command.h"

#include <memory>

#include "platform/errors.h"
#include "platform/files/std_file_source.h"
#include "tools/capture/capture_rules.h"
#include "tools/rule_tool.h"
#include "tools/tool_files.h"

namespace {

struct OpenSnapshot {
  explicit OpenSnapshot(const std::string& path) : source(path), reader(source, path) {}
  StdFileSource source;
  SnapshotReader reader;
};

}  // namespace

int RunCaptureCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::vector<std::string> snapshots;
  std::string output;
  std::string baseline;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "-o" && i + 1 < arguments.size()) {
      output = arguments[++i];
    } else if (arguments[i] == "--baseline" && i + 1 < arguments.size()) {
      baseline = arguments[++i];
    } else if (!arguments[i].starts_with("-")) {
      snapshots.push_back(arguments[i]);
    } else {
      err << "RuleTool: capture does not know \"" << arguments[i] << "\"\n";
      return kToolFailed;
    }
  }
  if (snapshots.size() != 2 || output.empty()) {
    err << "RuleTool: capture takes BEFORE AFTER -o RULES.txt [--baseline B2]\n";
    return kToolFailed;
  }
  std::string current;
  try {
    current = snapshots[0];
    OpenSnapshot before(current);
    current = snapshots[1];
    OpenSnapshot after(current);
    std::unique_ptr<OpenSnapshot> noise;
    if (!baseline.empty()) {
      current = baseline;
      noise = std::make_unique<OpenSnapshot>(current);
    }
    current.clear();
    const CapturedRules rules = CaptureRules(before.reader, after.reader, noise ? &noise->reader : nullptr);
    current = output;
    ReplaceFile(output, rules.text);
    out << output << ": " << rules.rules << " rules, " << rules.remarks << " remarks\n";
    return kToolDone;
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot " << (current == output ? "write " : "read ") << current << ": " << error.Message() << "\n";
  } catch (const EConvertError& error) {
    err << "RuleTool: " << error.Message() << "\n";
  }
  return kToolFailed;
}
