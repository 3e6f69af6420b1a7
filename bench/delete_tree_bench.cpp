// Deletes one tree with DeleteFolderTree and an identical one with `cmd /c rd /s /q`, in
// the same run under the same Wine, and prints the seconds of each.
//   bench_delete_tree_bench.exe TREE_A TREE_B [ORDER]
// ORDER "ab" (default) deletes TREE_A first, "ba" TREE_B first.
//   bench_delete_tree_bench.exe count FOLDER
// makes in FOLDER a folder of 2,000 files and one of 500 empty folders, deletes each with
// DeleteFolderTree counting its file calls, and prints the calls per file and per folder.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/cleaner_context.h"
#include "engine/run/deletion.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run_view.h"
#include "bench/bench_support.h"
#include "bench/file_call_count.h"
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

constexpr int kCountedFiles = 2000;
constexpr int kCountedFolders = 500;

void MakeFolder(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) bench::Fail("cannot make " + path);
}

// One folder of plain files and one of empty folders, each deleted with its calls counted;
// the folder that holds them costs a few calls of its own, spread over its items.
int CountCalls(const std::string& base) {
  const std::string files = base + "\\files";
  const std::string folders = base + "\\folders";
  MakeFolder(files);
  MakeFolder(folders);
  for (int i = 0; i < kCountedFiles; ++i) {
    const UniqueFile file(CreateFileA((files + "\\file" + std::to_string(i) + ".dat").c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) bench::Fail("cannot make a file in " + files);
  }
  for (int i = 0; i < kCountedFolders; ++i) MakeFolder(folders + "\\sub" + std::to_string(i));
  // What an entry costs whatever it holds (its guards, its top), from an empty folder, is
  // taken off the counts of the two trees.
  const std::string empty = base + "\\empty";
  MakeFolder(empty);
  int notDeleted = 0;
  bench::ResetFileCalls();
  DeleteWithCleaner(empty, notDeleted);
  const auto fixed = bench::FileCallCounts();
  bench::ResetFileCalls();
  DeleteWithCleaner(files, notDeleted);
  const double perFile = bench::PrintFileCallsPer("DeleteFolderTree", "file", kCountedFiles, fixed);
  bench::ResetFileCalls();
  DeleteWithCleaner(folders, notDeleted);
  const double perFolder = bench::PrintFileCallsPer("DeleteFolderTree", "empty folder", kCountedFolders, fixed);
  if (!Gone(empty) || !Gone(files) || !Gone(folders) || notDeleted != 0) {
    bench::Fail("the counted trees were not deleted");
  }
  // Wine's own DeleteFileW and RemoveDirectoryW: an open that deletes at its close, and the close.
  bench::PrintResult("folder tree delete, file calls per file", perFile, "calls", "DeleteFileW by path (open, close)", 2,
                     bench::Better::Lower, 1);
  bench::PrintResult("folder tree delete, file calls per empty folder", perFolder, "calls",
                     "RemoveDirectoryW by path (open, close)", 2, bench::Better::Lower, 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any file call of the cleaner's code, so that every address looked up is counted.
  for (const std::string& name : bench::InstallFileCallCount()) std::printf("not counted: %s\n", name.c_str());
  if (argc == 3 && std::string(argv[1]) == "count") return CountCalls(argv[2]);
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
