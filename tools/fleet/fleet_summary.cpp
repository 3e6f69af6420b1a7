#include "tools/fleet/fleet_summary.h"

#include <algorithm>

#include "platform/errors.h"

namespace {

// A line of a spilled list holds no line end: a file name or reason with one is shown flat.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

void Tally::Add(const std::string& item, const std::string& machine) {
  auto found = entries_.find(item);
  if (found == entries_.end()) {
    if (entries_.size() >= kMaxDistinct) {
      ++untracked_;
      return;
    }
    found = entries_.emplace(item, Entry{item, 0, {}}).first;
  }
  Entry& entry = found->second;
  ++entry.machines;
  if (entry.sample.size() < kSample) entry.sample.push_back(machine);
}

std::vector<Tally::Entry> Tally::Top(std::size_t count) const {
  std::vector<const Entry*> all;
  all.reserve(entries_.size());
  for (const auto& [item, entry] : entries_) all.push_back(&entry);
  const auto first = [](const Entry* a, const Entry* b) {
    return a->machines != b->machines ? a->machines > b->machines : a->item < b->item;
  };
  const std::size_t shown = std::min(count, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(shown), all.end(), first);
  std::vector<Entry> top;
  for (std::size_t i = 0; i < shown; ++i) top.push_back(*all[i]);
  return top;
}

SpilledList::SpilledList(std::filesystem::path path) : path_(std::move(path)), out_(path_, std::ios::binary) {
  if (!out_.is_open()) throw EInOutError(82);
}

void SpilledList::Add(const std::string& line) {
  out_ << OneLine(line) << '\n';
  ++count_;
}

FleetSummary::FleetSummary(const std::filesystem::path& scratch, bool withExpectList)
    : expectGiven(withExpectList), missing(scratch / "missing.txt"), unreadable(scratch / "unreadable.txt") {}

void FleetSummary::AddMachine(const MachineRuns& machine) {
  if (machine.expected) ++expected;
  if (machine.latest == nullptr) {
    ++outcomes[static_cast<std::size_t>(FleetOutcome::NeverReported)];
    missing.Add(machine.name);
    return;
  }
  const FleetRun& run = *machine.latest;
  ++machines;
  ++outcomes[static_cast<std::size_t>(run.Outcome())];
  for (const std::string& line : run.left) left.Add(line, machine.name);
  for (const std::string& line : run.reasons) reasons.Add(line, machine.name);
  versions.Add(run.programVersion.empty() ? "(none)" : run.programVersion, machine.name);
  ruleFiles.Add(run.ruleSha256.empty() ? "(not readable)" : run.ruleSha256, machine.name);
  if (machine.runs > 1) {
    ++repeatedMachines;
    repeatedRuns += machine.runs;
    if (repeatedSample.size() < kSampleMachines) {
      repeatedSample.push_back(machine.name + " (" + std::to_string(machine.runs) + " runs)");
    }
  }
  if (expectGiven && !machine.expected) {
    ++unexpected;
    if (unexpectedSample.size() < kSampleMachines) unexpectedSample.push_back(machine.name);
  }
}

void FleetSummary::AddUnreadable(const std::string& file, const std::string& reason) {
  unreadable.Add(file + ": " + reason);
}

void FleetSummary::AddNewerSchema(long long version) {
  ++newerSchema;
  newestSchema = std::max(newestSchema, version);
}
