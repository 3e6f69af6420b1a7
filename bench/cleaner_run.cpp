// Starts Cleaner.exe in a prepared folder (its current folder as well), waits for it to end
// and polls its memory from outside meanwhile (GetProcessMemoryInfo every few milliseconds;
// the peaks are the system's own running maxima, the polling only reads them before the
// process is gone). One line per run:
//   run <n> wall <s> peak_private_mb <MB> peak_working_set_mb <MB> exit <code>
//   bench_cleaner_run.exe FOLDER RUNS [ARGUMENTS]
//   bench_cleaner_run.exe --sleep MILLISECONDS     does nothing but sleep: a start-up floor
//   bench_cleaner_run.exe --check MB               the driver checks itself on a child that
//                                                  takes MB more than an idle one
#include <windows.h>

#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/handles.h"

namespace {

constexpr double kMb = 1024.0 * 1024.0;

struct Sample {
  double wallSeconds = 0;
  double peakPrivateMb = 0;
  double peakWorkingSetMb = 0;
  DWORD exitCode = 0;
};

bool RunOnce(const std::string& exe, const std::string& arguments, const std::string& folder, Sample& sample) {
  std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double start = bench::Now();
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    std::fprintf(stderr, "cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
    return false;
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  auto poll = [&] {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process.Get(), &memory, sizeof memory)) return;
    sample.peakPrivateMb = std::max(sample.peakPrivateMb, static_cast<double>(memory.PeakPagefileUsage) / kMb);
    sample.peakWorkingSetMb = std::max(sample.peakWorkingSetMb, static_cast<double>(memory.PeakWorkingSetSize) / kMb);
  };
  while (WaitForSingleObject(process.Get(), 5) == WAIT_TIMEOUT) {
    poll();
    if (bench::Now() - start > 600) {
      std::fprintf(stderr, "%s still running after 600 s\n", commandLine.c_str());
      TerminateProcess(process.Get(), 1);
      return false;
    }
  }
  sample.wallSeconds = bench::Now() - start;
  GetExitCodeProcess(process.Get(), &sample.exitCode);
  return true;
}

std::string SelfPath() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return self;
}

// Touches every page, so that the memory is really taken, and holds it for a moment.
int Allocate(int megabytes) {
  std::vector<char> block(static_cast<std::size_t>(megabytes) * 1024 * 1024);
  for (std::size_t i = 0; i < block.size(); i += 4096) block[i] = 1;
  Sleep(300);
  return block.empty() ? 0 : block[0] - 1;
}

// The driver measures what it claims: a child that takes MB more shows MB more.
int CheckSelf(int megabytes) {
  Sample idle;
  Sample busy;
  if (!RunOnce(SelfPath(), "--allocate 0", "", idle) ||
      !RunOnce(SelfPath(), "--allocate " + std::to_string(megabytes), "", busy)) {
    return 1;
  }
  const double seen = busy.peakPrivateMb - idle.peakPrivateMb;
  std::printf("self-check: a child taking %d MB more shows %.1f MB more peak private memory\n", megabytes, seen);
  return seen > 0.8 * megabytes && seen < 1.2 * megabytes + 2 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--sleep") == 0) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--allocate") == 0) return Allocate(std::atoi(argv[2]));
  if (argc >= 3 && std::strcmp(argv[1], "--check") == 0) return CheckSelf(std::atoi(argv[2]));
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_cleaner_run FOLDER RUNS [ARGUMENTS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int runs = std::max(1, std::atoi(argv[2]));
  const std::string arguments = argc > 3 ? argv[3] : "";
  for (int run = 1; run <= runs; ++run) {
    Sample sample;
    if (!RunOnce(folder + "\\Cleaner.exe", arguments, folder, sample)) return 1;
    std::printf("run %d wall %.3f peak_private_mb %.2f peak_working_set_mb %.2f exit %lu\n", run, sample.wallSeconds,
                sample.peakPrivateMb, sample.peakWorkingSetMb, sample.exitCode);
    std::fflush(stdout);
  }
  return 0;
}
