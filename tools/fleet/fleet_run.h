#pragma once
// One machine's run as the fleet view needs it, read from the run's JSON report by the
// report's own schema, and its outcome as the exit code tells it.
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/line_reader.h"
#include "report/report_schema.h"

enum class FleetOutcome { Clean, RestartPending, Left, Failed, RefusedCommandLine, AnotherCopy, NeverReported };
inline constexpr int kFleetOutcomes = 7;

// "clean", "restart pending", "left", "failed", "refused command line", "another copy running",
// "never reported".
const char* OutcomeName(FleetOutcome outcome);
FleetOutcome OutcomeOfExitCode(long long exitCode);

struct FleetRun {
  std::string file;  // where the report was found, as shown to the reader
  long long schemaVersion = 0;
  std::string programVersion, computer, ruleSha256, start, end;
  long long exitCode = 0;
  RunCounts counts;
  // What stayed, one line each as the run listed it (its refusals not among them), and the
  // refusals, failures and errors ("remove-file failed: system error 32", "error: TEXT"):
  // each distinct line once, at most kMaxLines of each.
  std::vector<std::string> left, reasons;

  static constexpr std::size_t kMaxLines = 256;
  FleetOutcome Outcome() const { return OutcomeOfExitCode(exitCode); }
  bool NewerSchema() const { return schemaVersion > kReportSchemaVersion; }
};

// Reads one report. Raises EConvertError with the reason when it cannot be read: not JSON,
// truncated, no computer or exit code, a schema version older than the first, a field of
// the wrong kind. Fields it does not know are passed over: a newer report is read for the
// fields this reader knows.
FleetRun ReadFleetRun(ByteSource& source);

// A line of what stayed that the cleaner refused or skipped rather than failed to remove.
bool IsRefusal(std::string_view line);

// The machine's name as machines are told apart: ASCII letters in lower case, and only the
// part before the first "." (an inventory's "pc1.corp.example" is the report's "PC1").
std::string MachineKey(std::string_view name);

// An ISO 8601 time with its offset ("2026-12-07T10:00:05+01:00") as UTC, written so that
// later times sort later ("2026-12-07T09:00:05Z"); empty when it is not such a time.
std::string UtcSortKey(std::string_view time);
