// Deletes one tree with DeleteFolderTree and an identical one with `cmd /c rd /s /q`, in
// the same run under the same Wine, and prints the seconds of each.
//   bench_delete_tree_bench.exe TREE_A TREE_B [ORDER]
// ORDER "ab" (default) deletes TREE_A first, "ba" TREE_B first.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/cleaner_context.h"
#include "engine/run/deletion.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run_view.h"
#include "platform/handles.h"
#include "engine/reporter.h"
#include "report/trace_log.h"

namespace {

double Seconds() {
  LARGE_INTEGER frequency{};
  LARGE_INTEGER now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class CountingReporter : public Reporter {
 public:
  void ShowInfo(const std::string&) override { ++infoLines; }
  void SimpleMessage(const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
  int infoLines = 0;
};

double DeleteWithCleaner(const std::string& tree, int& notDeleted) {
  CleanerState state;
  NoRunView view;
  CountingReporter reporter;
  TraceLog trace;
  CleanerContext context{state, view, LiveEffects::Instance(), reporter, trace};
  const double start = Seconds();
  DeleteFolderTree(context, tree);
  const double seconds = Seconds() - start;
  notDeleted = reporter.infoLines;
  return seconds;
}

double DeleteWithRd(const std::string& tree) {
  std::string commandLine = "cmd.exe /c rd /s /q \"" + tree + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double start = Seconds();
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    std::fprintf(stderr, "cannot start cmd: %lu\n", GetLastError());
    return -1;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  return Seconds() - start;
}

bool Gone(const std::string& path) { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_delete_tree_bench TREE_A TREE_B [ab|ba]\n");
    return 2;
  }
  const std::string cleanerTree = argv[1];
  const std::string rdTree = argv[2];
  const bool cleanerFirst = argc < 4 || std::string(argv[3]) != "ba";
  int notDeleted = 0;
  double cleanerSeconds = 0;
  double rdSeconds = 0;
  if (cleanerFirst) {
    cleanerSeconds = DeleteWithCleaner(cleanerTree, notDeleted);
    rdSeconds = DeleteWithRd(rdTree);
  } else {
    rdSeconds = DeleteWithRd(rdTree);
    cleanerSeconds = DeleteWithCleaner(cleanerTree, notDeleted);
  }
  std::printf("DeleteFolderTree %.3f s (%s, %d not deleted)\n", cleanerSeconds,
              Gone(cleanerTree) ? "gone" : "LEFT", notDeleted);
  std::printf("rd /s /q %.3f s (%s)\n", rdSeconds, Gone(rdTree) ? "gone" : "LEFT");
  return Gone(cleanerTree) && Gone(rdTree) && notDeleted == 0 ? 0 : 1;
}
