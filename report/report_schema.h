#pragma once
// The run report's schema: its version, the names of its fields, the outcomes its steps
// carry and its counts. The report is written (run_record.cpp) and read (RuleTool fleet) by
// these names only, so that the two cannot drift apart.
// Raised whenever a field changes its meaning or goes; a reader reads a newer report for the
// fields it knows.
inline constexpr int kReportSchemaVersion = 1;

namespace report_field {
inline constexpr char kSchemaVersion[] = "schemaVersion";
inline constexpr char kProgramVersion[] = "programVersion";
inline constexpr char kComputer[] = "computer";
inline constexpr char kAccount[] = "account";
inline constexpr char kCommandLine[] = "commandLine";
inline constexpr char kSettings[] = "settings";
inline constexpr char kRuleFile[] = "ruleFile";
inline constexpr char kRuleFilePath[] = "path";      // in ruleFile
inline constexpr char kRuleFileSha256[] = "sha256";  // in ruleFile; null when the file could not be read
inline constexpr char kStart[] = "start";
inline constexpr char kEnd[] = "end";
inline constexpr char kActions[] = "actions";
inline constexpr char kAction[] = "action";  // in each of actions
inline constexpr char kTarget[] = "target";
inline constexpr char kOutcome[] = "outcome";
inline constexpr char kReason[] = "reason";
inline constexpr char kCounts[] = "counts";
inline constexpr char kExitCode[] = "exitCode";
}  // namespace report_field

// The outcome of one step of the report's actions.
namespace step_outcome {
inline constexpr char kDone[] = "done";
inline constexpr char kFailed[] = "failed";            // the system refused a change; the reason holds its code
inline constexpr char kLeft[] = "left";                // a line of what stayed or was refused
inline constexpr char kScheduled[] = "scheduled";      // a deletion left to the next restart
inline constexpr char kError[] = "error";              // an error shown; the reason holds its message
inline constexpr char kInUse[] = "in use";             // an attempt on a file in use; the step after it counts
}  // namespace step_outcome

struct RunCounts {
  int changes = 0;    // changes made
  int failed = 0;     // changes the system refused
  int left = 0;       // lines of what stayed or was refused
  int scheduled = 0;  // deletions left to the next restart
  int errors = 0;     // errors shown
};

// The fields of "counts", in the order the report writes them.
struct CountField {
  const char* name;
  int RunCounts::*member;
};
inline constexpr CountField kCountFields[] = {
    {"changes", &RunCounts::changes}, {"failed", &RunCounts::failed},   {"left", &RunCounts::left},
    {"scheduled", &RunCounts::scheduled}, {"errors", &RunCounts::errors},
};
