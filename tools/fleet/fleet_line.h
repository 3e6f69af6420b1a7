#pragma once
// A run, or a machine the expect list names, as one line of the fleet's sort: fields
// separated by tabs, escaped so that no field holds a tab or a line end. Sorted by
// LineLess, every machine's lines come together, its latest run first and the expect
// list's line last.
#include <string>
#include <string_view>

#include "tools/fleet/fleet_run.h"

struct FleetLine {
  std::string key;        // MachineKey of the computer's name
  bool expected = false;  // a name of the expect list, not a run
  FleetRun run;           // the run; for an expected name only its computer
};

std::string RunLine(const FleetRun& run);
std::string ExpectedLine(std::string_view name);
FleetLine ParseLine(std::string_view line);
bool LineLess(std::string_view a, std::string_view b);
