#pragma once
// The three forms of the fleet's summary: the table printed for the administrator, the CSV of
// one row per machine for a spreadsheet, and a page of its own (no script, no file from
// elsewhere) with the outcomes drawn as a bar chart in inline SVG.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "tools/fleet/fleet_summary.h"

// The sections both the table and the page show, in order, each a tally and its heading.
struct TallySection {
  const char* heading;
  const Tally& tally;
};
std::vector<TallySection> TallySections(const FleetSummary& summary);
inline constexpr std::size_t kTopLines = 20;

// The outcomes a summary shows: every one, "never reported" only with an expect list.
std::vector<FleetOutcome> ShownOutcomes(const FleetSummary& summary);

// The lines that say what stands out beside the counts: several rule files or versions in
// use, reports of a newer schema, machines that reported more than once.
std::vector<std::string> FleetNotes(const FleetSummary& summary);

void WriteFleetText(FleetSummary& summary, std::ostream& out);
void WriteFleetHtml(FleetSummary& summary, std::ostream& out);

// One row per machine, the header first; text cells that a spreadsheet would take for a
// formula begin with an apostrophe.
class FleetCsv {
 public:
  explicit FleetCsv(std::ostream& out);
  void Row(const MachineRuns& machine);

 private:
  std::ostream& out_;
};
