#pragma once
// What the fleet's reports add up to, gathered one machine at a time in bounded memory:
// machines by outcome, the lines most machines have left, refusals and failures, versions
// and rule files, machines that reported more than once and machines that never did.
#include <array>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/fleet/fleet_run.h"

// How many machines have each distinct line, with the first few machines' names. Past
// kMaxDistinct distinct lines, a new line is only counted as untracked: a fleet whose
// machines each leave a line of their own cannot make the tally grow without end.
class Tally {
 public:
  struct Entry {
    std::string item;
    long long machines = 0;
    std::vector<std::string> sample;
  };
  void Add(const std::string& item, const std::string& machine);
  // The entries with most machines first (then by the line), at most count of them.
  std::vector<Entry> Top(std::size_t count) const;
  std::size_t Distinct() const { return entries_.size(); }
  long long Untracked() const { return untracked_; }

  static constexpr std::size_t kSample = 3;
  static constexpr std::size_t kMaxDistinct = 4096;

 private:
  std::unordered_map<std::string, Entry> entries_;
  long long untracked_ = 0;
};

// Lines kept in a file rather than in memory, read back in the order written.
class SpilledList {
 public:
  explicit SpilledList(std::filesystem::path path);
  void Add(const std::string& line);
  long long Count() const { return count_; }
  // Calls show for each line, at most limit of them (all for 0).
  template <typename Show>
  void ForEach(Show show, long long limit = 0);

 private:
  std::filesystem::path path_;
  std::ofstream out_;
  long long count_ = 0;
};

// One machine: its latest run, how many runs it reported, and whether the expect list names it.
struct MachineRuns {
  std::string name;  // as its latest report gives it, or as the expect list does
  const FleetRun* latest = nullptr;  // null: the expect list names it and it never reported
  long long runs = 0;
  bool expected = false;
};

struct FleetSummary {
  FleetSummary(const std::filesystem::path& scratch, bool withExpectList);

  void AddMachine(const MachineRuns& machine);
  void AddUnreadable(const std::string& file, const std::string& reason);
  void AddNewerSchema(long long version);

  long long reports = 0;  // report files read
  long long machines = 0;  // machines that reported
  std::array<long long, kFleetOutcomes> outcomes{};
  Tally left, reasons, versions, ruleFiles;
  long long repeatedMachines = 0, repeatedRuns = 0;
  std::vector<std::string> repeatedSample;  // "PC1 (3 runs)"
  long long newerSchema = 0, newestSchema = 0;
  bool expectGiven = false;
  long long expected = 0, unexpected = 0;
  std::vector<std::string> unexpectedSample;
  SpilledList missing;     // machine names
  SpilledList unreadable;  // "file: reason"

  static constexpr std::size_t kSampleMachines = 10;
};

template <typename Show>
void SpilledList::ForEach(Show show, long long limit) {
  out_.flush();
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  for (long long shown = 0; (limit == 0 || shown < limit) && std::getline(in, line); ++shown) show(line);
}
