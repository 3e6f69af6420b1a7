#include "report/run_record.h"

#include "platform/text/text_rules.h"

namespace {

std::string Number(long long value) { return IntToText(value); }

}  // namespace

void RunRecord::Keep(RecordedStep step) {
  if (keepSteps_) steps_.push_back(std::move(step));
}

// A file in use answers its removal with one of these; the run then leaves it to the restart
// or lists it as left, and that outcome is what counts: the first attempt is no failure of
// its own.
static bool IsInUseCode(unsigned long code) {
  constexpr unsigned long kSharingViolation = 32, kLockViolation = 33, kDeletePending = 303, kMappedFile = 1224;
  return code == kSharingViolation || code == kLockViolation || code == kDeletePending || code == kMappedFile;
}

void RunRecord::Change(const std::string& action, const std::string& target, unsigned long code) {
  const bool done = code == 0;
  const bool inUse = IsInUseCode(code);
  Keep({action, target, done ? step_outcome::kDone : inUse ? step_outcome::kInUse : step_outcome::kFailed,
        done ? "" : "system error " + Number(static_cast<long long>(code))});
  if (undoing_ || inUse) return;
  ++(done ? counts_.changes : counts_.failed);
}

void RunRecord::Restored(const std::string& target) {
  Keep({"restore", target, step_outcome::kDone, ""});
  ++counts_.changes;
}

void RunRecord::Listed(const std::string& line, bool scheduled) {
  const char* outcome = scheduled ? step_outcome::kScheduled : step_outcome::kLeft;
  Keep({outcome, "", outcome, line});
  ++(scheduled ? counts_.scheduled : counts_.left);
}

void RunRecord::Error(const std::string& message) {
  Keep({step_outcome::kError, "", step_outcome::kError, message});
  ++counts_.errors;
}

std::string SummaryLine(const RunCounts& counts, int exitCode) {
  return "Run ended: " + Number(counts.changes) + " changes made, " + Number(counts.failed) + " failed, " +
         Number(counts.left) + " left, " + Number(counts.scheduled) + " scheduled for restart, " +
         Number(counts.errors) + " errors; exit code " + Number(exitCode);
}

std::vector<std::string> HeaderLines(const RunFacts& facts) {
  return {
      "Velmora Cleaner " + facts.version,
      "Computer: " + facts.computer,
      "Account: " + facts.account,
      "Command line: " + facts.commandLine,
      "Rule file: " + facts.ruleFile +
          (facts.ruleFileSha256.empty() ? std::string(" (not readable)") : ", SHA-256 " + facts.ruleFileSha256),
  };
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      static constexpr char kDigits[] = "0123456789abcdef";
      out += "\\u00";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string ReportJson(const RunFacts& facts, const std::vector<std::string>& settings, const ReportTimes& times,
                       const RunRecord& record, int exitCode) {
  namespace f = report_field;
  const auto field = [](const char* name, const std::string& value) { return std::string("\"") + name + "\":" + value; };
  std::string json = "{";
  json += field(f::kSchemaVersion, Number(kReportSchemaVersion)) + ",";
  json += field(f::kProgramVersion, JsonString(facts.version)) + ",";
  json += field(f::kComputer, JsonString(facts.computer)) + ",";
  json += field(f::kAccount, JsonString(facts.account)) + ",";
  json += field(f::kCommandLine, JsonString(facts.commandLine)) + ",";
  json += field(f::kSettings, "{");
  for (std::size_t i = 0; i < settings.size(); ++i) {
    const std::size_t equals = settings[i].find('=');
    json += (i == 0 ? "" : ",") + JsonString(settings[i].substr(0, equals)) + ":" +
            JsonString(equals == std::string::npos ? "" : settings[i].substr(equals + 1));
  }
  json += "},";
  json += field(f::kRuleFile, "{" + field(f::kRuleFilePath, JsonString(facts.ruleFile)) + "," +
                                  field(f::kRuleFileSha256,
                                        facts.ruleFileSha256.empty() ? "null" : JsonString(facts.ruleFileSha256)) +
                                  "}") + ",";
  json += field(f::kStart, JsonString(times.start)) + ",";
  json += field(f::kEnd, JsonString(times.end)) + ",";
  json += field(f::kActions, "[");
  bool first = true;
  for (const RecordedStep& step : record.Steps()) {
    json += std::string(first ? "" : ",") + "\n{" + field(f::kAction, JsonString(step.action)) + "," +
            field(f::kTarget, JsonString(step.target)) + "," + field(f::kOutcome, JsonString(step.outcome)) + "," +
            field(f::kReason, JsonString(step.reason)) + "}";
    first = false;
  }
  std::string counts;
  for (const CountField& count : kCountFields) {
    counts += (counts.empty() ? "" : ",") + field(count.name, Number(record.Counts().*count.member));
  }
  json += "],\n" + field(f::kCounts, "{" + counts + "}") + ",";
  json += field(f::kExitCode, Number(exitCode)) + "}\n";
  return json;
}
