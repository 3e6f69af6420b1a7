// Reads a rule file through the line file as a rule pass does (ReadRuleLine: read,
// descramble, expand), through the line file alone (ReadLine), and with plain 64 KiB
// ReadFile calls, in the same run, and prints lines per second for each.
//   bench_read_rules.exe RULE_FILE [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/rule_file.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/line_file.h"

namespace {
double Seconds() {
  LARGE_INTEGER frequency{};
  LARGE_INTEGER now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Pass {
  long long lines = 0;
  long long bytes = 0;
  double seconds = 0;
};

Pass ReadThroughLineFile(const std::string& path, const CleanerState* rules) {
  Pass pass;
  const double start = Seconds();
  LineFile file;
  file.OpenForReading(path);
  while (!file.AtEnd()) {
    const std::string line = rules ? ReadRuleLine(file, *rules) : file.ReadLine();
    pass.bytes += static_cast<long long>(line.size());
    ++pass.lines;
  }
  file.CloseAndFlush();
  pass.seconds = Seconds() - start;
  return pass;
}

// Counts CRs: the number of lines of a file whose every line ends with CR LF.
Pass ReadPlain(const std::string& path) {
  Pass pass;
  const double start = Seconds();
  const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw EInOutError(static_cast<int>(GetLastError()));
  std::vector<char> buffer(64 * 1024);
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    pass.bytes += got;
    for (DWORD i = 0; i < got; ++i) pass.lines += buffer[i] == '\r';
  }
  pass.seconds = Seconds() - start;
  return pass;
}

double PerSecond(const Pass& pass) { return static_cast<double>(pass.lines) / pass.seconds; }
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_read_rules RULE_FILE [ROUNDS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  try {
    CleanerState state;
    state.ProgramFolder = "C:\\Program Files\\Velmora\\QRV";
    state.SharedFolder = "C:\\Program Files\\Common Files\\Velmora Shared";
    ReadPlain(path);  // brings the file into the cache for every pass
    Pass rules;
    Pass lines;
    Pass plain;
    // Alternating rounds; the best of each counts.
    for (int round = 0; round < rounds; ++round) {
      const Pass a = ReadThroughLineFile(path, &state);
      const Pass b = ReadThroughLineFile(path, nullptr);
      const Pass c = ReadPlain(path);
      if (round == 0 || a.seconds < rules.seconds) rules = a;
      if (round == 0 || b.seconds < lines.seconds) lines = b;
      if (round == 0 || c.seconds < plain.seconds) plain = c;
    }
    if (rules.lines != plain.lines || lines.lines != plain.lines) {
      std::fprintf(stderr, "line counts differ: rules %lld, lines %lld, plain %lld\n", rules.lines, lines.lines,
                   plain.lines);
      return 1;
    }
    std::printf("rule file                  %lld lines, %lld bytes, best of %d rounds\n", plain.lines, plain.bytes,
                rounds);
    std::printf("%-26s %12s %9s %16s\n", "pass", "lines/s", "seconds", "time vs plain");
    const struct {
      const char* name;
      const Pass& pass;
    } rows[] = {{"LineFile + ReadRuleLine", rules}, {"LineFile ReadLine", lines}, {"plain ReadFile 64 KiB", plain}};
    for (const auto& row : rows) {
      std::printf("%-26s %12.0f %9.3f %15.2fx\n", row.name, PerSecond(row.pass), row.pass.seconds,
                  row.pass.seconds / plain.seconds);
    }
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
