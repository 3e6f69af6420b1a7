// Reads a rule file through the line file as a rule pass does (ReadRuleLine: read,
// descramble, expand), through the line file alone (ReadLine), and with plain 64 KiB
// ReadFile calls, in the same run, and prints lines per second for each (medians).
//   bench_read_rules.exe RULE_FILE [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/cleaner_state.h"
#include "engine/rules/rule_file.h"
#include "platform/errors.h"
#include "platform/files/line_file.h"
#include "platform/handles.h"

namespace {
using bench::Now;

struct Pass {
  long long lines = 0;
  long long bytes = 0;
  double seconds = 0;
};

Pass ReadThroughLineFile(const std::string& path, const CleanerState* rules) {
  Pass pass;
  const double start = Now();
  LineFile file;
  file.OpenForReading(path);
  while (!file.AtEnd()) {
    const std::string line = rules ? ReadRuleLine(file, *rules) : file.ReadLine();
    pass.bytes += static_cast<long long>(line.size());
    ++pass.lines;
  }
  file.CloseAndFlush();
  pass.seconds = Now() - start;
  return pass;
}

UniqueFile OpenPlain(const std::string& path) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw EInOutError(static_cast<int>(GetLastError()));
  return file;
}

// Counts CRs: the number of lines of a file whose every line ends with CR LF.
Pass ReadPlain(const std::string& path) {
  Pass pass;
  const double start = Now();
  const UniqueFile file = OpenPlain(path);
  std::vector<char> buffer(64 * 1024);
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    pass.bytes += got;
    for (DWORD i = 0; i < got; ++i) pass.lines += buffer[i] == '\r';
  }
  pass.seconds = Now() - start;
  return pass;
}

// The same reads, each line copied into a string of its own as any line-by-line reader
// must hand it out: the floor for ReadLine.
Pass ReadPlainIntoStrings(const std::string& path) {
  Pass pass;
  const double start = Now();
  const UniqueFile file = OpenPlain(path);
  std::vector<char> buffer(64 * 1024);
  std::string pending;
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    const char* at = buffer.data();
    const char* end = at + got;
    while (at < end) {
      const char* cr = std::find(at, end, '\r');
      pending.append(at, cr);
      if (cr == end) break;
      const std::string line = std::move(pending);
      pending.clear();
      pass.bytes += static_cast<long long>(line.size());
      ++pass.lines;
      at = cr + 1;
      if (at < end && *at == '\n') ++at;
    }
    if (!pending.empty() && pending.front() == '\n') pending.erase(0, 1);  // LF of a CR at the border
  }
  pass.seconds = Now() - start;
  return pass;
}

double PerSecond(const Pass& pass) { return static_cast<double>(pass.lines) / pass.seconds; }

// The pass of the median time; the passes all read the same lines.
Pass MedianPass(std::vector<Pass> passes) {
  std::sort(passes.begin(), passes.end(), [](const Pass& a, const Pass& b) { return a.seconds < b.seconds; });
  return passes[passes.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_read_rules RULE_FILE [ROUNDS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  try {
    CleanerState state;
    state.ProgramFolder = "C:\\Program Files\\Velmora\\QRV";
    state.SharedFolder = "C:\\Program Files\\Common Files\\Velmora Shared";
    ReadPlain(path);  // brings the file into the cache for every pass
    std::vector<Pass> rulesPasses;
    std::vector<Pass> linePasses;
    std::vector<Pass> plainPasses;
    std::vector<Pass> stringPasses;
    // Alternating rounds, so that a machine busy for a while weighs on all three alike.
    for (int round = 0; round < rounds; ++round) {
      rulesPasses.push_back(ReadThroughLineFile(path, &state));
      linePasses.push_back(ReadThroughLineFile(path, nullptr));
      plainPasses.push_back(ReadPlain(path));
      stringPasses.push_back(ReadPlainIntoStrings(path));
    }
    const Pass rules = MedianPass(rulesPasses);
    const Pass lines = MedianPass(linePasses);
    const Pass plain = MedianPass(plainPasses);
    const Pass strings = MedianPass(stringPasses);
    if (rules.lines != plain.lines || lines.lines != plain.lines || strings.lines != plain.lines) {
      std::fprintf(stderr, "line counts differ: rules %lld, lines %lld, strings %lld, plain %lld\n", rules.lines,
                   lines.lines, strings.lines, plain.lines);
      return 1;
    }
    std::printf("rule file                  %lld lines, %lld bytes, median of %d rounds\n", plain.lines,
                plain.bytes, rounds);
    std::printf("%-26s %12s %9s %16s\n", "pass", "lines/s", "seconds", "time vs plain");
    const struct {
      const char* name;
      const Pass& pass;
    } rows[] = {{"LineFile + ReadRuleLine", rules},
                {"LineFile ReadLine", lines},
                {"plain 64 KiB, string/line", strings},
                {"plain ReadFile 64 KiB", plain}};
    for (const auto& row : rows) {
      std::printf("%-26s %12.0f %9.3f %15.2fx\n", row.name, PerSecond(row.pass), row.pass.seconds,
                  row.pass.seconds / plain.seconds);
    }
    const auto runs = static_cast<std::size_t>(rounds);
    bench::PrintResult("rule file read, ReadRuleLine", PerSecond(rules), "lines/s", "plain ReadFile 64 KiB",
                       PerSecond(plain), bench::Better::Higher, runs);
    bench::PrintResult("rule file read, LineFile ReadLine", PerSecond(lines), "lines/s",
                       "plain 64 KiB, a string per line", PerSecond(strings), bench::Better::Higher, runs);
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
