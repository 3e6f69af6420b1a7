#include <algorithm>

#include "tools/fleet/fleet_outputs.h"

namespace {

// Long lists stay readable in a browser; the CSV and the printed summary have every line.
constexpr long long kPageListLimit = 1000;

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

const char* Colour(FleetOutcome outcome) {
  switch (outcome) {
    case FleetOutcome::Clean: return "#2e7d32";
    case FleetOutcome::RestartPending: return "#1565c0";
    case FleetOutcome::Left: return "#ef6c00";
    case FleetOutcome::Failed: return "#c62828";
    case FleetOutcome::RefusedCommandLine: return "#6a1b9a";
    case FleetOutcome::AnotherCopy: return "#546e7a";
    case FleetOutcome::NeverReported: return "#9e9e9e";
  }
  return "#000000";
}

constexpr char kStyle[] =
    "body{font-family:Segoe UI,Arial,sans-serif;margin:24px;color:#222}"
    "h1{font-size:22px}h2{font-size:17px;margin-top:28px}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:3px 8px;text-align:left;vertical-align:top}"
    "td.n{text-align:right}td:last-child{white-space:nowrap}p.note{margin:4px 0}";

void Chart(const FleetSummary& summary, std::ostream& out) {
  const std::vector<FleetOutcome> outcomes = ShownOutcomes(summary);
  long long most = 1;
  for (const FleetOutcome outcome : outcomes) most = std::max(most, summary.outcomes[static_cast<std::size_t>(outcome)]);
  constexpr int kRow = 30, kLabel = 180, kWidth = 480;
  const auto height = static_cast<int>(outcomes.size()) * kRow + 10;
  out << "<svg id=\"outcomes\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kLabel + kWidth + 90 << "\" height=\""
      << height << "\" role=\"img\" aria-label=\"Machines by outcome\">\n";
  int y = 5;
  for (const FleetOutcome outcome : outcomes) {
    const long long count = summary.outcomes[static_cast<std::size_t>(outcome)];
    const long long width = count == 0 ? 0 : std::max(2LL, count * kWidth / most);
    out << "<g class=\"bar\" data-outcome=\"" << OutcomeName(outcome) << "\" data-count=\"" << count << "\">"
        << "<title>" << OutcomeName(outcome) << ": " << count << "</title>"
        << "<text x=\"0\" y=\"" << y + 18 << "\" font-size=\"14\">" << OutcomeName(outcome) << "</text>"
        << "<rect x=\"" << kLabel << "\" y=\"" << y + 3 << "\" width=\"" << width << "\" height=\"" << kRow - 8
        << "\" fill=\"" << Colour(outcome) << "\"/>"
        << "<text x=\"" << kLabel + width + 6 << "\" y=\"" << y + 18 << "\" font-size=\"14\">" << count << "</text></g>\n";
    y += kRow;
  }
  out << "</svg>\n";
}

void TallyTable(const TallySection& section, std::ostream& out) {
  out << "<h2>" << Escaped(section.heading) << " (" << section.tally.Distinct() << " different)</h2>\n";
  const std::vector<Tally::Entry> top = section.tally.Top(kTopLines);
  if (top.empty()) {
    out << "<p>None.</p>\n";
    return;
  }
  out << "<table><tr><th>machines</th><th>line</th><th>for example</th></tr>\n";
  for (const Tally::Entry& entry : top) {
    std::string sample;
    for (const std::string& name : entry.sample) sample += (sample.empty() ? "" : ", ") + name;
    if (entry.machines > static_cast<long long>(entry.sample.size())) sample += ", ...";
    out << "<tr><td class=\"n\">" << entry.machines << "</td><td>" << Escaped(entry.item) << "</td><td>"
        << Escaped(sample) << "</td></tr>\n";
  }
  out << "</table>\n";
}

void ListSection(const char* heading, const char* id, SpilledList& list, std::ostream& out) {
  out << "<h2 id=\"" << id << "\">" << heading << ": " << list.Count() << "</h2>\n";
  if (list.Count() == 0) return;
  out << "<ul>\n";
  list.ForEach([&out](const std::string& line) { out << "<li>" << Escaped(line) << "</li>\n"; }, kPageListLimit);
  out << "</ul>\n";
  if (list.Count() > kPageListLimit) {
    out << "<p>... and " << list.Count() - kPageListLimit << " more: the printed summary lists them all.</p>\n";
  }
}

}  // namespace

void WriteFleetHtml(FleetSummary& summary, std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      << "<title>Velmora Cleaner: the fleet</title><style>" << kStyle << "</style></head><body>\n"
      << "<h1>Velmora Cleaner: the fleet</h1>\n"
      << "<p id=\"totals\"><span id=\"machines\">" << summary.machines << "</span> machines reported, <span id=\"reports\">"
      << summary.reports << "</span> reports read, <span id=\"unreadable\">" << summary.unreadable.Count()
      << "</span> unreadable";
  if (summary.expectGiven) {
    out << "; " << summary.expected << " expected, <span id=\"missing\">" << summary.missing.Count()
        << "</span> never reported";
  }
  out << ".</p>\n<h2>Machines by outcome</h2>\n";
  Chart(summary, out);
  for (const std::string& note : FleetNotes(summary)) out << "<p class=\"note\">" << Escaped(note) << "</p>\n";
  for (const TallySection& section : TallySections(summary)) TallyTable(section, out);
  if (summary.expectGiven) ListSection("Machines that never reported", "never-reported", summary.missing, out);
  ListSection("Unreadable reports", "unreadable-reports", summary.unreadable, out);
  out << "</body></html>\n";
}
