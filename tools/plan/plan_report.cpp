#include "tools/plan/plan_report.h"

#include <algorithm>

#include "platform/text/text_rules.h"
#include "tools/plan/json_text.h"

namespace {

// "1 file", "2 files", "1 process".
std::string CountText(long long count, const std::string& plural) {
  std::string noun = plural;
  if (count == 1 && noun.ends_with("es") && noun.ends_with("sses")) {
    noun.resize(noun.size() - 2);
  } else if (count == 1 && noun.ends_with("s")) {
    noun.pop_back();
  }
  return IntToText(count) + " " + noun;
}

std::string StateText(const TargetState& now) {
  if (!now.known) return {};
  std::string text = now.exists ? "exists" : "missing";
  if (now.exists && now.count) text += ", " + CountText(*now.count, now.countNoun);
  return "  [" + text + "]";
}

std::string YesNo(bool value) { return value ? "yes" : "no"; }

std::string Shown(const std::string& folder) { return folder.empty() ? "(none)" : folder; }

// Attributes reset right before the same file is removed read as one action.
bool AttributesBeforeRemoval(const std::vector<PlanAction>& actions, std::size_t i) {
  return actions[i].verb == "set-attributes" && i + 1 < actions.size() && actions[i + 1].verb == "remove-file" &&
         actions[i + 1].target == actions[i].target;
}

void WriteActionText(const std::vector<PlanAction>& actions, std::size_t& i, std::ostream& out) {
  const PlanAction& action = actions[i];
  if (AttributesBeforeRemoval(actions, i)) {
    ++i;
    out << "    remove-file " << action.target << " (attributes reset first)" << StateText(actions[i].now) << "\n";
    return;
  }
  out << "    " << action.verb << " " << action.target;
  if (!action.detail.empty()) out << " := " << action.detail;
  out << StateText(action.now) << "\n";
}

void WriteStepText(const PlanStep& step, std::ostream& out) {
  if (step.line > 0) out << "line " << step.line << "  ";
  out << step.section;
  if (!step.entry.empty() || step.line > 0) out << "  " << step.entry;
  out << StateText(step.now);
  if (step.skipped) out << "  (skipped: deletion not permitted)";
  if (!step.skipped && step.actions.empty() && step.notes.empty()) {
    out << (step.line > 0 ? "  (nothing to do)" : "  (none)");
  }
  out << "\n";
  for (std::size_t i = 0; i < step.actions.size(); ++i) WriteActionText(step.actions, i, out);
  for (const std::string& note : step.notes) out << "    ! " << note << "\n";
}

class JsonObject {
 public:
  JsonObject(std::ostream& out, AnsiToUtf16 toUtf16, const char* type) : out_(out), toUtf16_(toUtf16) {
    out_ << "{\"type\":\"" << type << "\"";
  }
  ~JsonObject() { out_ << "}\n"; }
  JsonObject(const JsonObject&) = delete;
  JsonObject& operator=(const JsonObject&) = delete;

  JsonObject& Text(const char* name, std::string_view value) { return Wide(name, toUtf16_(value)); }
  JsonObject& Wide(const char* name, std::u16string_view value) {
    out_ << ",\"" << name << "\":" << JsonQuoted(value);
    return *this;
  }
  JsonObject& Number(const char* name, long long value) {
    out_ << ",\"" << name << "\":" << value;
    return *this;
  }
  JsonObject& Flag(const char* name, bool value) {
    out_ << ",\"" << name << "\":" << (value ? "true" : "false");
    return *this;
  }
  JsonObject& State(const TargetState& now) {
    if (!now.known) return *this;
    Flag("exists", now.exists);
    if (now.count) out_ << ",\"" << now.countNoun << "\":" << *now.count;
    return *this;
  }

 private:
  std::ostream& out_;
  AnsiToUtf16 toUtf16_;
};

}  // namespace

PlanTotals TotalsOf(const PlanReport& report) {
  PlanTotals totals;
  for (const PlanStep& step : report.steps) {
    if (step.line > 0) ++totals.entries;
    if (step.skipped) ++totals.skipped;
    totals.actions += step.actions.size();
    totals.notes += step.notes.size();
    const bool actsOnSomething = std::any_of(step.actions.begin(), step.actions.end(), [](const PlanAction& action) {
      return action.now.known && action.now.exists;
    });
    const bool leftBySkip = step.skipped && step.now.known && step.now.exists;
    if (actsOnSomething || leftBySkip) ++totals.present;
  }
  return totals;
}

int PlanExitCode(const PlanReport& report) {
  if (!report.runError.empty()) return kPlanRunError;
  return TotalsOf(report).present > 0 ? kPlanTargetsPresent : kPlanNothingPresent;
}

void WritePlanText(const PlanReport& report, std::ostream& out) {
  const PlanSettings& s = report.settings;
  out << "Rule file        " << s.ruleFile << " (" << s.ruleLines << " lines)\n"
      << "Program folder   " << Shown(s.programFolder) << "\n"
      << "Shared folder    " << Shown(s.sharedFolder) << "\n"
      << "Program Files    " << Shown(s.programFilesFolder) << "\n"
      << "Windows, System  " << Shown(s.windowsFolder) << ", " << Shown(s.systemFolder) << "\n"
      << "Start Menu       " << Shown(s.startMenuFolder) << "\n"
      << "Switches         kill processes: " << YesNo(s.killProcesses)
      << ", delete files and folders: " << YesNo(s.deleteFiles) << ", delete links: " << YesNo(s.deleteLinks)
      << "\n"
      << "Backup           "
      << (s.backupFolder.empty() ? std::string("none") : s.backupFolder + "\\<yyyy-mm-dd_hh-mm-ss> (one folder per run)")
      << "\n";
  for (const std::string& message : report.messages) out << "Message          " << message << "\n";
  out << "\n";
  for (const PlanStep& step : report.steps) WriteStepText(step, out);
  if (!report.runError.empty()) {
    out << "The run would end at line " << report.runErrorLine << " with the error: " << report.runError << "\n";
  }
  const PlanTotals totals = TotalsOf(report);
  out << "\n"
      << totals.entries << " entries, " << totals.actions << " actions, " << totals.notes << " refused or failing, "
      << totals.skipped << " skipped, " << totals.present << " with targets present; nothing was changed\n";
}

void WritePlanJson(const PlanReport& report, std::ostream& out, AnsiToUtf16 toUtf16) {
  const PlanSettings& s = report.settings;
  JsonObject(out, toUtf16, "settings")
      .Number("schemaVersion", kPlanJsonSchemaVersion)
      .Text("ruleFile", s.ruleFile)
      .Number("ruleLines", s.ruleLines)
      .Text("programFolder", s.programFolder)
      .Text("sharedFolder", s.sharedFolder)
      .Text("programFilesFolder", s.programFilesFolder)
      .Text("windowsFolder", s.windowsFolder)
      .Text("systemFolder", s.systemFolder)
      .Text("startMenuFolder", s.startMenuFolder)
      .Flag("killProcesses", s.killProcesses)
      .Flag("deleteFiles", s.deleteFiles)
      .Flag("deleteLinks", s.deleteLinks)
      .Text("backupFolder", s.backupFolder);
  for (const std::string& message : report.messages) JsonObject(out, toUtf16, "message").Text("text", message);
  for (const PlanStep& step : report.steps) {
    const auto line = static_cast<long long>(step.line);
    JsonObject(out, toUtf16, step.line > 0 ? "entry" : "step")
        .Number("line", line)
        .Text("section", step.section)
        .Text("entry", step.entry)
        .State(step.now)
        .Flag("skipped", step.skipped);
    for (const PlanAction& action : step.actions) {
      JsonObject object(out, toUtf16, "action");
      object.Number("line", line).Text("section", step.section).Text("action", action.verb);
      if (action.wideTarget.empty()) {
        object.Text("target", action.target);
      } else {
        object.Wide("target", action.wideTarget);
      }
      if (!action.detail.empty()) object.Text("detail", action.detail);
      object.State(action.now);
    }
    for (const std::string& note : step.notes) {
      JsonObject(out, toUtf16, "info").Number("line", line).Text("section", step.section).Text("text", note);
    }
  }
  if (!report.runError.empty()) {
    JsonObject(out, toUtf16, "error").Number("line", static_cast<long long>(report.runErrorLine)).Text("text", report.runError);
  }
  const PlanTotals totals = TotalsOf(report);
  JsonObject(out, toUtf16, "totals")
      .Number("entries", static_cast<long long>(totals.entries))
      .Number("actions", static_cast<long long>(totals.actions))
      .Number("refusedOrFailing", static_cast<long long>(totals.notes))
      .Number("skipped", static_cast<long long>(totals.skipped))
      .Number("present", static_cast<long long>(totals.present))
      .Number("exitCode", PlanExitCode(report));
}
