#pragma once
// What RuleTool plan found: the settings the cleaner would start with, and every step of a
// run with the changes the engine asked the dry-run gateway for. Written as text for
// people or as JSON lines for scripts.
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// A target as it is now, before anything is done.
struct TargetState {
  bool known = false;  // false where nothing was looked up
  bool exists = false;
  std::optional<long long> count;  // keys: subkeys; folders: files below; processes: running
  std::string countNoun;           // "subkeys", "files", "processes"
};

struct PlanAction {
  std::string verb;    // "end-process", "stop-service", "delete-key", "delete-value", "write-value",
                       // "set-attributes", "remove-file", "remove-folder"
  std::string target;  // executable name, key (\ value name), path
  std::string detail;  // written text, attributes
  TargetState now;
  std::u16string wideTarget{};  // files and folders: the true path in UTF-16; the JSON shows it
};

// One rule entry, or a step of the run outside the rule file (line 0).
struct PlanStep {
  std::size_t line = 0;
  std::string section;  // trace word of the entry's section ("DelDir"), or "Processes", "Shortcuts"
  std::string entry;    // the rule line as the rule pass reads it, placeholders expanded
  TargetState now;      // what the entry names
  bool skipped = false;  // needs the deletion permission, which is off
  std::vector<PlanAction> actions;
  std::vector<std::string> notes;  // lines the information list would get: refusals, failures
};

struct PlanSettings {
  std::string ruleFile;
  long long ruleLines = 0;
  std::string programFolder, sharedFolder, programFilesFolder, windowsFolder, systemFolder, startMenuFolder;
  bool killProcesses = false, deleteFiles = false, deleteLinks = false;
  // Where a run would keep its backup (BACKUP= or --backup); empty for none.
  std::string backupFolder;
};

struct PlanReport {
  PlanSettings settings;
  std::vector<std::string> messages;  // simple messages start-up showed, and other remarks
  std::vector<PlanStep> steps;
  std::string runError;  // the error that would end the run at runErrorLine; empty when none
  std::size_t runErrorLine = 0;
};

// Counts over the whole plan, for the last line of the text form and the JSON totals.
// present: steps that find something of the product now (an action's target that exists,
// or a target a skipped entry leaves); a refused entry's target is not the product's.
struct PlanTotals {
  std::size_t entries = 0, actions = 0, notes = 0, skipped = 0, present = 0;
};
PlanTotals TotalsOf(const PlanReport& report);

// The exit code of RuleTool plan: 1 when the run would end with an error, else 3 when
// something of the product is present (a dry-run detection), else 0.
inline constexpr int kPlanNothingPresent = 0;
inline constexpr int kPlanRunError = 1;
inline constexpr int kPlanTargetsPresent = 3;
int PlanExitCode(const PlanReport& report);

// Raised whenever a field of the JSON form changes meaning or goes.
inline constexpr int kPlanJsonSchemaVersion = 1;

void WritePlanText(const PlanReport& report, std::ostream& out);

// Text in the ANSI code page as UTF-16, for JSON.
using AnsiToUtf16 = std::u16string (*)(std::string_view text);
// One JSON object per line: "settings" first (with "schemaVersion"), then a "message" object
// per message, then per step an "entry" (rule entry) or "step" object, an "action" object
// per action and an "info" object per note, an "error" object when the run would end with
// one, and a "totals" object last with the counts and the exit code.
void WritePlanJson(const PlanReport& report, std::ostream& out, AnsiToUtf16 toUtf16);
