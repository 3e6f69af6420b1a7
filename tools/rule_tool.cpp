#include "tools/rule_tool.h"

#include <algorithm>
#include <string_view>

#include "platform/errors.h"
#include "platform/files/line_reader.h"
#include "platform/files/std_file_source.h"
#include "tools/capture/capture_command.h"
#include "tools/fleet/fleet_command.h"
#include "tools/plan/plan_command.h"
#include "tools/plan/plan_options.h"
#include "tools/rules/rule_check.h"
#include "tools/rules/rule_decode.h"
#include "tools/rules/rule_encode.h"
#include "tools/rules/settings_check.h"
#include "tools/snapshot/snapshot_command.h"
#include "tools/tool_files.h"

namespace {

// Each command's usage line, shown by "RuleTool COMMAND --help" and, all together, on errors.
struct CommandUsage {
  std::string_view command;
  std::string line;
};
const CommandUsage kCommandUsage[] = {
    {"decode", "RuleTool decode FILE [-n]                  print the lines of a rule file (-n: with line numbers)"},
    {"encode", "RuleTool encode TEXT_FILE -o FILE [--strict]\n"
               "                                           write a rule file from a text file and check it\n"
               "                                           (--strict: write nothing when the check finds something)"},
    {"check", "RuleTool check FILE                        report what in a rule or settings file may surprise its author"},
    {"plan", std::string(kPlanUsage) +
                 "\n"
                 "                                           list what the cleaner would do here (Windows build);\n"
                 "                                           exit code 3 when something of the product is present"},
    {"snapshot", "RuleTool snapshot FILE [--all-users] [--content]\n"
                 "                                           record the registry and folders products write to\n"
                 "                                           (Windows build; --content: read every file's content)"},
    {"capture", "RuleTool capture BEFORE AFTER -o RULES.txt [--baseline B2]\n"
                "                                           the rule text for what was installed between two snapshots"},
    {"fleet", std::string(kFleetUsage) +
                  "\n"
                  "                                           one summary of many machines' /REPORT files: a table,\n"
                  "                                           a CSV of one row per machine and a page with a chart"},
};

void WriteUsage(std::ostream& out) {
  out << "usage:\n";
  for (const CommandUsage& usage : kCommandUsage) out << "  " << usage.line << "\n";
  out << "  RuleTool --version                         print the version\n";
}

int Usage(std::ostream& err, const std::string& problem) {
  err << "RuleTool: " << problem << "\n";
  WriteUsage(err);
  return kToolFailed;
}

// "RuleTool COMMAND --help" (or -h alone): that command's usage, whatever else is given.
bool AsksForHelp(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--help") != args.end() || (args.size() == 1 && args[0] == "-h");
}

int CommandHelp(const std::string& command, std::ostream& out, std::ostream& err) {
  for (const CommandUsage& usage : kCommandUsage) {
    if (usage.command == command) {
      out << "usage: " << usage.line << "\n";
      return kToolDone;
    }
  }
  return Usage(err, "unknown command \"" + command + "\"");
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
  bool strict = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--strict") {
      strict = true;
    } else if (args[i] == "-o" && i + 1 < args.size()) {
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
  // The file as the cleaner will read it; its lines are the text's lines.
  const std::vector<Finding> findings = CheckRuleFile(encoded.stored);
  for (const Finding& finding : findings) out << textPath << ": " << FormatFinding(finding) << "\n";
  if (strict && !findings.empty()) {
    err << "RuleTool: nothing written (--strict) because of " << findings.size()
        << (findings.size() == 1 ? " finding\n" : " findings\n");
    return kToolFindings;
  }
  try {
    ReplaceFile(rulePath, encoded.stored);
  } catch (const EInOutError& error) {
    err << "RuleTool: cannot write " << rulePath << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  out << rulePath << ": " << SplitTextLines(text).size() << " lines written\n";
  return findings.empty() ? kToolDone : kToolFindings;
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
  const std::vector<Finding> findings = IsSettingsFile(args[0], stored) ? CheckSettingsFile(stored) : CheckRuleFile(stored);
  for (const Finding& finding : findings) out << FormatFinding(finding) << "\n";
  return findings.empty() ? kToolDone : kToolFindings;
}

}  // namespace

int RunRuleTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.empty()) return Usage(err, "no command");
  const std::string& command = arguments[0];
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "--version") {
    out << CLEANER_VERSION_TEXT << "\n";
    return kToolDone;
  }
  if (AsksForHelp(rest)) return CommandHelp(command, out, err);
  if (command == "decode") return Decode(rest, out, err);
  if (command == "encode") return Encode(rest, out, err);
  if (command == "check") return Check(rest, out, err);
  if (command == "plan") return RunPlanCommand(rest, out, err);
  if (command == "snapshot") return RunSnapshotCommand(rest, out, err);
  if (command == "capture") return RunCaptureCommand(rest, out, err);
  if (command == "fleet") return RunFleetCommand(rest, out, err);
  if (command == "-h" || command == "--help" || command == "help") {
    WriteUsage(out);
    return kToolDone;
  }
  return Usage(err, "unknown command \"" + command + "\"");
}
