#include "tools/rule_tool.h"

#include "platform/errors.h"
#include "platform/line_reader.h"
#include "platform/std_file_source.h"
#include "tools/capture_command.h"
#include "tools/plan_command.h"
#include "tools/rule_check.h"
#include "tools/rule_decode.h"
#include "tools/rule_encode.h"
#include "tools/tool_files.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  RuleTool decode FILE [-n]            print the lines of a rule file (-n: with line numbers)\n"
    "  RuleTool encode TEXT_FILE -o FILE    write a rule file from a text file\n"
    "  RuleTool check FILE                  report what in a rule file may surprise its author\n"
    "  RuleTool plan [--json] [--all-users] [--program DIR] [--shared DIR] [--rules FILE] [--delete-at-restart] [--backup DIR]\n"
    "                                       list what the cleaner would do here (Windows build)\n"
    "  RuleTool snapshot FILE [--all-users]  record the registry and folders products write to (Windows build)\n"
    "  RuleTool capture BEFORE AFTER -o RULES.txt [--baseline B2]\n"
    "                                       the rule text for what was installed between two snapshots\n";

int Usage(std::ostream& err, const std::string& problem) {
  err << "RuleTool: " << problem << "\n" << kUsage;
  return kToolFailed;
}

int Decode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string path;
  bool numbered = false;
  for (const std::string& arg : args) {
    if (arg == "-n") {
      numbered = true;
    } else if (path.empty()) {
      path = arg;
    } else {
      return Usage(err, "decode takes one file");
    }
  }
  if (path.empty()) return Usage(err, "decode needs a file");
  try {
    StdFileSource source(path);
    LineReader rules(source);
    DecodeRules(rules, numbered, out);
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot read " << path << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  out.flush();
  return kToolDone;
}

int Encode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string textPath;
  std::string rulePath;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      rulePath = args[++i];
    } else if (textPath.empty() && args[i] != "-o") {
      textPath = args[i];
    } else {
      return Usage(err, "encode takes one text file and -o FILE");
    }
  }
  if (textPath.empty() || rulePath.empty()) return Usage(err, "encode needs a text file and -o FILE");

  std::string text;
  try {
    text = ReadWholeFile(textPath);
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot read " << textPath << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  const EncodedRules encoded = EncodeRuleText(text);
  if (!encoded.refused.empty()) {
    for (const UnstorableByte& found : encoded.refused) err << textPath << ": " << DescribeUnstorableByte(found) << "\n";
    if (encoded.looksLikeUtf8) {
      err << textPath << ": the text seems to be UTF-8; rule files hold text in the ANSI code page (Windows-1251)\n";
    }
    err << "RuleTool: nothing written; the rule format cannot store bytes 196 to 226\n";
    return kToolFindings;
  }
  try {
    ReplaceFile(rulePath, encoded.stored);
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot write " << rulePath << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  out << rulePath << ": " << SplitTextLines(text).size() << " lines written\n";
  return kToolDone;
}

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return Usage(err, "check takes one file");
  std::string stored;
  try {
    stored = ReadWholeFile(args[0]);
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot read " << args[0] << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  const std::vector<Finding> findings = CheckRuleFile(stored);
  for (const Finding& finding : findings) out << FormatFinding(finding) << "\n";
  return findings.empty() ? kToolDone : kToolFindings;
}

}  // namespace

int RunRuleTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.empty()) return Usage(err, "no command");
  const std::string& command = arguments[0];
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "decode") return Decode(rest, out, err);
  if (command == "encode") return Encode(rest, out, err);
  if (command == "check") return Check(rest, out, err);
  if (command == "plan") return RunPlanCommand(rest, out, err);
  if (command == "snapshot") return RunSnapshotCommand(rest, out, err);
  if (command == "capture") return RunCaptureCommand(rest, out, err);
  if (command == "-h" || command == "--help" || command == "help") {
    out << kUsage;
    return kToolDone;
  }
  return Usage(err, "unknown command \"" + command + "\"");
}
