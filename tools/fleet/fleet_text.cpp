#include <iomanip>

#include "tools/fleet/fleet_outputs.h"

namespace {

// What machines wrote reaches a terminal: a control character (an escape sequence, say) is
// shown as "?" instead of being obeyed.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string Percent(long long part, long long whole) {
  if (whole == 0) return "";
  const long long tenths = (part * 1000 + whole / 2) / whole;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

}  // namespace

std::vector<TallySection> TallySections(const FleetSummary& summary) {
  return {{"Lines left, by machines", summary.left},
          {"Refusals and failures, by machines", summary.reasons},
          {"Program versions", summary.versions},
          {"Rule files by SHA-256", summary.ruleFiles}};
}

std::vector<FleetOutcome> ShownOutcomes(const FleetSummary& summary) {
  std::vector<FleetOutcome> shown;
  for (int i = 0; i < kFleetOutcomes; ++i) {
    const auto outcome = static_cast<FleetOutcome>(i);
    if (outcome != FleetOutcome::NeverReported || summary.expectGiven) shown.push_back(outcome);
  }
  return shown;
}

std::vector<std::string> FleetNotes(const FleetSummary& summary) {
  std::vector<std::string> notes;
  if (summary.ruleFiles.Distinct() > 1) {
    notes.push_back("The fleet ran " + std::to_string(summary.ruleFiles.Distinct()) + " different rule files.");
  }
  if (summary.versions.Distinct() > 1) {
    notes.push_back("The fleet ran " + std::to_string(summary.versions.Distinct()) + " program versions.");
  }
  if (summary.repeatedMachines > 0) {
    notes.push_back("Machines that reported more than once: " + std::to_string(summary.repeatedMachines) + " (" +
                    std::to_string(summary.repeatedRuns) + " runs); each counts by its latest run: " +
                    Joined(summary.repeatedSample) + (summary.repeatedMachines > static_cast<long long>(summary.repeatedSample.size()) ? ", ..." : ""));
  }
  if (summary.newerSchema > 0) {
    notes.push_back("Reports of a newer schema than this tool knows (" + std::to_string(kReportSchemaVersion) +
                    "): " + std::to_string(summary.newerSchema) + ", up to version " +
                    std::to_string(summary.newestSchema) + "; read for the fields it knows.");
  }
  if (summary.unexpected > 0) {
    notes.push_back("Machines that reported but are not on the expect list: " + std::to_string(summary.unexpected) + ": " +
                    Joined(summary.unexpectedSample) + (summary.unexpected > static_cast<long long>(summary.unexpectedSample.size()) ? ", ..." : ""));
  }
  for (const TallySection& section : TallySections(summary)) {
    if (section.tally.Untracked() > 0) {
      notes.push_back(std::string(section.heading) + ": past " + std::to_string(Tally::kMaxDistinct) +
                      " different lines, " + std::to_string(section.tally.Untracked()) + " more were counted only.");
    }
  }
  return notes;
}

void WriteFleetText(FleetSummary& summary, std::ostream& out) {
  const long long machines = summary.machines + summary.missing.Count();
  out << "Fleet: " << summary.machines << " machines reported, " << summary.reports << " reports read, "
      << summary.unreadable.Count() << " unreadable";
  if (summary.expectGiven) out << "; " << summary.expected << " expected, " << summary.missing.Count() << " never reported";
  out << "\n\nMachines by outcome\n";
  for (const FleetOutcome outcome : ShownOutcomes(summary)) {
    const long long count = summary.outcomes[static_cast<std::size_t>(outcome)];
    out << "  " << std::left << std::setw(22) << OutcomeName(outcome) << std::right << std::setw(9) << count
        << std::setw(8) << Percent(count, machines) << "\n";
  }
  for (const TallySection& section : TallySections(summary)) {
    out << "\n" << section.heading << " (" << section.tally.Distinct() << " different)\n";
    for (const Tally::Entry& entry : section.tally.Top(kTopLines)) {
      out << std::setw(9) << entry.machines << "  " << Printable(entry.item) << "  ("
          << Printable(Joined(entry.sample)) << (entry.machines > static_cast<long long>(entry.sample.size()) ? ", ..." : "")
          << ")\n";
    }
  }
  const std::vector<std::string> notes = FleetNotes(summary);
  if (!notes.empty()) out << "\n";
  for (const std::string& note : notes) out << Printable(note) << "\n";
  if (summary.expectGiven) {
    out << "\nMachines that never reported: " << summary.missing.Count() << "\n";
    summary.missing.ForEach([&out](const std::string& name) { out << "  " << Printable(name) << "\n"; });
  }
  out << "\nUnreadable reports: " << summary.unreadable.Count() << "\n";
  summary.unreadable.ForEach([&out](const std::string& line) { out << "  " << Printable(line) << "\n"; });
}
