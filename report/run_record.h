#pragma once
// What one start of the program did, for the run's report, the trace log's last line and
// the event log: every change asked of the gateway with its outcome, every line of the
// information list, every error shown. Texts are UTF-8.
#include <string>
#include <vector>

#include "report/report_schema.h"

struct RecordedStep {
  std::string action;   // "remove-file", "delete-key", ..., "left", "scheduled", "error"
  std::string target;   // path, key (\ value), executable or service; empty for a listed line
  std::string outcome;  // "done", "failed", "left", "scheduled", "error"
  std::string reason;   // the system's error code, or the line as listed
};

class RunRecord {
 public:
  // Counts only unless told to keep each step: a run over a huge rule file must not grow
  // with it when nobody asked for the report.
  RunRecord() = default;
  explicit RunRecord(bool keepSteps) : keepSteps_(keepSteps) {}
  void KeepSteps(bool keep) { keepSteps_ = keep; }
  void Change(const std::string& action, const std::string& target, unsigned long code);
  void Listed(const std::string& line, bool scheduled);
  void Error(const std::string& message);
  // An undo: from here on, the changes counted are the items it restored; the gateway's
  // changes are kept as steps ("done" or "failed") without being counted again.
  void UndoStarting() { undoing_ = true; }
  void Restored(const std::string& target);

  const std::vector<RecordedStep>& Steps() const { return steps_; }
  const RunCounts& Counts() const { return counts_; }

 private:
  void Keep(RecordedStep step);
  std::vector<RecordedStep> steps_;
  RunCounts counts_;
  bool keepSteps_ = true;
  bool undoing_ = false;
};

// "Run ended: N changes made, N failed, N left, N scheduled for restart, N errors; exit code N"
std::string SummaryLine(const RunCounts& counts, int exitCode);

// The facts about the program and its machine that open the trace log and the report.
struct RunFacts {
  std::string version, computer, account, commandLine;
  std::string ruleFile;
  std::string ruleFileSha256;  // empty when the file could not be read
};

// The first block of the trace log.
std::vector<std::string> HeaderLines(const RunFacts& facts);

struct ReportTimes {
  std::string start, end;  // ISO 8601 with the offset from UTC
};

// The run's report: one JSON object, UTF-8, with the facts, the settings in effect, the
// times, every step, the counts and the exit code.
std::string ReportJson(const RunFacts& facts, const std::vector<std::string>& settings, const ReportTimes& times,
                       const RunRecord& record, int exitCode);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& text);
