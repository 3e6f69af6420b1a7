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
  Keep({action, target, done ? "done" : inUse ? "in use" : "failed",
        done ? "" : "system error " + Number(static_cast<long long>(code))});
  if (undoing_ || inUse) return;
  ++(done ? counts_.changes : counts_.failed);
}

void RunRecord::Restored(const std::string& target) {
  Keep({"restore", target, "done", ""});
  ++counts_.changes;
}

void RunRecord::Listed(const std::string& line, bool scheduled) {
  const char* outcome = scheduled ? "scheduled" : "left";
  Keep({outcome, "", outcome, line});
  ++(scheduled ? counts_.scheduled : counts_.left);
}

void RunRecord::Error(const std::string& message) {
  Keep({"error", "", "error", message});
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
  const auto field = [](const char* name, const std::string& value) { return std::string("\"") + name + "\":" + value; };
  std::string json = "{";
  json += field("schemaVersion", Number(kReportSchemaVersion)) + ",";
  json += field("programVersion", JsonString(facts.version)) + ",";
  json += field("computer", JsonString(facts.computer)) + ",";
  json += field("account", JsonString(facts.account)) + ",";
  json += field("commandLine", JsonString(facts.commandLine)) + ",";
  json += field("settings", "{");
  for (std::size_t i = 0; i < settings.size(); ++i) {
    const std::size_t equals = settings[i].find('=');
    json += (i == 0 ? "" : ",") + JsonString(settings[i].substr(0, equals)) + ":" +
            JsonString(equals == std::string::npos ? "" : settings[i].substr(equals + 1));
  }
  json += "},";
  json += field("ruleFile", "{" + field("path", JsonString(facts.ruleFile)) + "," +
                                field("sha256", facts.ruleFileSha256.empty() ? "null" : JsonString(facts.ruleFileSha256)) +
                                "}") + ",";
  json += field("start", JsonString(times.start)) + ",";
  json += field("end", JsonString(times.end)) + ",";
  json += "\"actions\":[";
  bool first = true;
  for (const RecordedStep& step : record.Steps()) {
    json += std::string(first ? "" : ",") + "\n{" + field("action", JsonString(step.action)) + "," +
            field("target", JsonString(step.target)) + "," + field("outcome", JsonString(step.outcome)) + "," +
            field("reason", JsonString(step.reason)) + "}";
    first = false;
  }
  const RunCounts& counts = record.Counts();
  json += "],\n" + field("counts", "{" + field("changes", Number(counts.changes)) + "," +
                                       field("failed", Number(counts.failed)) + "," + field("left", Number(counts.left)) +
                                       "," + field("scheduled", Number(counts.scheduled)) + "," +
                                       field("errors", Number(counts.errors)) + "}") + ",";
  json += field("exitCode", Number(exitCode)) + "}\n";
  return json;
}
