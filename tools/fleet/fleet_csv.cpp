#include "tools/fleet/fleet_outputs.h"

namespace {

constexpr char kHeader[] =
    "machine,outcome,exit code,end,start,changes,failed,left,scheduled,errors,program version,rule file sha256,runs,"
    "first line left,first refusal or failure,report file";

// A text cell quoted where it must be; one that begins like a formula gets an apostrophe, so
// that a spreadsheet shows it instead of evaluating what a machine wrote.
std::string Cell(const std::string& text) {
  std::string cell = text;
  if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@' || cell[0] == '\t' ||
                        cell[0] == '\r')) {
    cell.insert(0, 1, '\'');
  }
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string First(const std::vector<std::string>& lines) { return lines.empty() ? std::string() : lines.front(); }

}  // namespace

FleetCsv::FleetCsv(std::ostream& out) : out_(out) {
  out_ << "\xEF\xBB\xBF" << kHeader << "\r\n";  // the mark makes spreadsheets read it as UTF-8
}

void FleetCsv::Row(const MachineRuns& machine) {
  out_ << Cell(machine.name) << ",";
  if (machine.latest == nullptr) {
    out_ << OutcomeName(FleetOutcome::NeverReported) << ",,,,,,,,,,,0,,,\r\n";
    return;
  }
  const FleetRun& run = *machine.latest;
  out_ << OutcomeName(run.Outcome()) << "," << run.exitCode << "," << Cell(run.end) << "," << Cell(run.start);
  for (const CountField& count : kCountFields) out_ << "," << run.counts.*count.member;
  out_ << "," << Cell(run.programVersion) << "," << Cell(run.ruleSha256) << "," << machine.runs << ","
       << Cell(First(run.left)) << "," << Cell(First(run.reasons)) << "," << Cell(run.file) << "\r\n";
}
