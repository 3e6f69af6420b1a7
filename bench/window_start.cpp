// Starts a program, measures the time until its main window is visible and its private
// memory at that moment (current and peak), then closes it through the window.
//   bench_window_start.exe EXE CLASS [RUNS]     measure EXE, whose window has class CLASS
//   bench_window_start.exe --bare               a bare window, the floor for any program
//   bench_window_start.exe --bare-once          the same, closing itself once shown
// The time runs from CreateProcess to the first poll (every millisecond) that finds the
// window visible, so it includes the start of the Windows process by Wine.
#include <windows.h>

#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/handles.h"

namespace {

double Seconds() {
  LARGE_INTEGER frequency{};
  LARGE_INTEGER now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Search {
  DWORD processId;
  const char* className;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner == search->processId && IsWindowVisible(window) &&
      std::string(className) == search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

struct Sample {
  double seconds = 0;
  double privateMb = 0;
  double peakPrivateMb = 0;
  double peakWorkingSetMb = 0;
};

bool MeasureOnce(const std::string& commandLine, const char* className, Sample& sample) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  const double start = Seconds();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::printf("cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
    return false;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  Search search{process.dwProcessId, className, nullptr};
  while (!search.found) {
    EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (WaitForSingleObject(processHandle.Get(), 1) == WAIT_OBJECT_0) {
      std::printf("%s ended before showing a window\n", commandLine.c_str());
      return false;
    }
    if (Seconds() - start > 30) {
      std::printf("%s showed no window within 30 s\n", commandLine.c_str());
      TerminateProcess(processHandle.Get(), 1);
      return false;
    }
  }
  sample.seconds = Seconds() - start;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(processHandle.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  sample.privateMb = static_cast<double>(memory.PagefileUsage) / (1024.0 * 1024.0);
  sample.peakPrivateMb = static_cast<double>(memory.PeakPagefileUsage) / (1024.0 * 1024.0);
  sample.peakWorkingSetMb = static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0);
  PostMessageA(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(processHandle.Get(), 10000) != WAIT_OBJECT_0) {
    TerminateProcess(processHandle.Get(), 1);
  }
  return true;
}

LRESULT CALLBACK BareProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

// closeWhenShown: the window closes itself once shown and painted, so that the whole life of a
// program that shows a window (its processor time included) can be measured from outside.
int RunBareWindow(bool closeWhenShown = false) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &BareProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "BenchBareWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "BenchBareWindow", "bare", WS_CAPTION | WS_SYSMENU, 100, 100, 340,
                                363, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOW);
  if (closeWhenShown) {
    UpdateWindow(window);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

// One program to measure: its label, command line and window class, and its samples.
struct Subject {
  const char* label;
  std::string commandLine;
  const char* className;
  std::vector<Sample> samples;
};

// The median sample of the runs (by time), with the highest peak private memory seen.
Sample Report(Subject& subject) {
  std::vector<Sample>& samples = subject.samples;
  std::sort(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
  const Sample median = samples[samples.size() / 2];
  double peak = 0;
  for (const Sample& s : samples) peak = std::max(peak, s.peakPrivateMb);
  std::printf("%-28s shown after %7.1f ms (median of %zu, best %.1f ms)   private %.1f MB, peak private %.1f MB, peak working set %.1f MB\n",
              subject.label, median.seconds * 1000, samples.size(), samples.front().seconds * 1000, median.privateMb,
              peak, median.peakWorkingSetMb);
  return median;
}

std::string SystemProgram(const char* name) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\" + name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--bare") return RunBareWindow();
  if (argc >= 2 && std::string(argv[1]) == "--bare-once") return RunBareWindow(true);
  if (argc < 3) {
    std::printf("usage: bench_window_start EXE CLASS [RUNS]\n");
    return 2;
  }
  const int runs = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 5;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  // The programs take turns, one start each per round, so that a machine whose load changes
  // during the run weighs on all of them alike.
  Subject subjects[] = {
      {"bare window (the floor)", std::string("\"") + self + "\" --bare", "BenchBareWindow", {}},
      {"Wine's notepad", "\"" + SystemProgram("notepad.exe") + "\"", "Notepad", {}},
      {argv[2], std::string("\"") + argv[1] + "\"", argv[2], {}},
  };
  for (int round = 0; round < runs; ++round) {
    for (Subject& subject : subjects) {
      Sample sample;
      if (!MeasureOnce(subject.commandLine, subject.className, sample)) return 1;
      subject.samples.push_back(sample);
    }
  }
  // The ratio of each round's two starts, taken side by side: a machine whose load drifts
  // during the run moves both of a pair alike.
  std::vector<double> pairs;
  for (std::size_t i = 0; i < subjects[0].samples.size(); ++i) {
    pairs.push_back(subjects[2].samples[i].seconds / subjects[0].samples[i].seconds);
  }
  std::sort(pairs.begin(), pairs.end());
  std::printf("median of the rounds' ratios, %s / bare window: %.2f\n", argv[2], pairs[pairs.size() / 2]);
  const Sample bare = Report(subjects[0]);
  const Sample notepad = Report(subjects[1]);
  const Sample cleaner = Report(subjects[2]);
  const auto count = static_cast<std::size_t>(runs);
  bench::PrintResult("start-up to the main window shown", cleaner.seconds, "s", "a bare window, started alike",
                     bare.seconds, bench::Better::Lower, count);
  bench::PrintResult("start-up to the main window shown", cleaner.seconds, "s", "Wine's notepad, started alike",
                     notepad.seconds, bench::Better::Lower, count);
  bench::PrintResult("private memory, main window shown", cleaner.privateMb, "MB", "a bare window", bare.privateMb,
                     bench::Better::Lower, count);
  return 0;
}
