// What the backup costs: the same deletion with the gateway's backup layer on (files moved
// into the backup folder, keys written to the journal and the regedit export first) and,
// in the same run, with it off.
//   bench_backup_bench.exe files TREE_PLAIN TREE_BACKUP BACKUP_FOLDER [ab|ba]
//     One round: two trees made alike, each deleted with DeleteFolderTree, the second with its
//     files moved into BACKUP_FOLDER. ORDER "ab" (default) deletes TREE_PLAIN first. Prints
//     the seconds of each.
//   bench_backup_bench.exe registry ROUNDS BACKUP_FOLDER
//     The 10,000-key tree deleted through the delete-key action, with the backup (into
//     BACKUP_FOLDER\roundN) and without, ROUNDS times, the order turning each round. Prints
//     each round, the medians and the RESULT line.
// The time of a deletion with the backup includes turning the backup on and off, since a run
// pays for both (the journal is handed to the disk at the end).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "bench/bench_support.h"
#include "bench/registry_tree.h"
#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/gateway/recording_effects.h"
#include "engine/reporter.h"
#include "engine/run/deletion.h"
#include "engine/run/registry_actions.h"
#include "engine/run_view.h"
#include "platform/text/wide_text.h"
#include "report/trace_log.h"

namespace {

// The trees lie in /dev/shm, which every Linux user may write into (Wine reports that as an
// access list letting Everyone change it): the folders above the backup folder's own are
// answered for as the root of a Windows volume is, where users may add folders only. The
// checks still open and read every level, as a run on Windows does.
class VolumeRootAbove : public FolderSecurity {
 public:
  explicit VolumeRootAbove(const std::string& backupFolder) : top_(WideFromAnsi(backupFolder)) {
    const std::size_t cut = top_.find_last_of(L'\\');
    top_ = cut == std::wstring::npos ? top_ : top_.substr(0, cut);
  }
  std::wstring SecurityOf(const std::wstring& path) override {
    std::wstring text = FolderSecurity::SecurityOf(path);
    const std::wstring ordinary = path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
    if (top_.size() >= ordinary.size() && _wcsnicmp(top_.c_str(), ordinary.c_str(), ordinary.size()) == 0) {
      text = L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;LC;;;AU)";
    }
    return text;
  }

 private:
  std::wstring top_;
};

class SilentReporter : public Reporter {
 public:
  void ShowInfo(const std::string&) override {}
  void SimpleMessage(const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
};

struct Deletion {
  double seconds = 0;
  int notRemoved = 0;  // lines listed: what stayed, refusals of the backup included
};

// One deletion through a fresh context; with a backup folder, through the backup layer
// turned on for it as a cleaning run does.
Deletion Delete(const std::string& backupFolder, const std::function<void(CleanerContext&)>& remove) {
  CleanerState state;
  NoRunView view;
  SilentReporter reporter;
  TraceLog trace;
  BackupEffects backup(LiveEffects::Instance());
  VolumeRootAbove security(backupFolder);
  backup.UseFolderSecurity(security);
  const bool withBackup = !backupFolder.empty();
  CleanerContext context{state, view, withBackup ? static_cast<Effects&>(backup) : LiveEffects::Instance(), reporter,
                         trace};
  const double start = bench::Now();
  if (withBackup) {
    context.runHook = &backup;
    backup.BeginRun(
        backupFolder, [&context](const std::string& line) { AddInfo(context, line); },
        [&context](const std::string& line) { TraceIfOn(context, line); });
  }
  remove(context);
  if (withBackup) backup.EndRun();
  return {bench::Now() - start, context.outcome.notRemoved};
}

bool Gone(const std::string& path) { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; }

int DeleteFileTrees(const std::string& plainTree, const std::string& backupTree, const std::string& backupFolder,
                    bool plainFirst) {
  const auto tree = [](const std::string& path) {
    return [path](CleanerContext& context) { DeleteFolderTree(context, path); };
  };
  Deletion plain, backedUp;
  if (plainFirst) {
    plain = Delete("", tree(plainTree));
    backedUp = Delete(backupFolder, tree(backupTree));
  } else {
    backedUp = Delete(backupFolder, tree(backupTree));
    plain = Delete("", tree(plainTree));
  }
  std::printf("without backup %.3f s (%s, %d not deleted)\n", plain.seconds, Gone(plainTree) ? "gone" : "LEFT",
              plain.notRemoved);
  std::printf("with backup %.3f s (%s, %d not deleted)\n", backedUp.seconds, Gone(backupTree) ? "gone" : "LEFT",
              backedUp.notRemoved);
  const bool clean = Gone(plainTree) && Gone(backupTree) && plain.notRemoved == 0 && backedUp.notRemoved == 0;
  return clean ? 0 : 1;
}

int DeleteRegistryTrees(int rounds, const std::string& backupFolder) {
  const std::string base = "Software\\CleanerBench\\backup" + std::to_string(GetCurrentProcessId());
  const std::string tree = base + "\\Tree";
  const auto remove = [&tree](CleanerContext& context) {
    DeleteRegistryKeyEntry(context, "HKEY_CURRENT_USER\\" + tree);
  };
  // A first tree warms the registry up; it is not counted.
  bench::BuildTree(tree);
  RegDeleteTreeA(HKEY_CURRENT_USER, tree.c_str());

  std::vector<double> plainTimes, backupTimes;
  std::printf("registry tree delete, 10,000 keys with 3 values each, %d rounds (seconds)\n", rounds);
  std::printf("%-6s %15s %15s\n", "round", "without backup", "with backup");
  for (int round = 1; round <= rounds; ++round) {
    for (int i = 0; i < 2; ++i) {
      const bool withBackup = (round + i) % 2 == 0;
      bench::BuildTree(tree);
      const Deletion done = Delete(withBackup ? backupFolder + "\\round" + std::to_string(round) : "", remove);
      if (done.notRemoved != 0 || bench::KeyExists(tree)) bench::Fail("the delete-key action left the tree");
      (withBackup ? backupTimes : plainTimes).push_back(done.seconds);
    }
    std::printf("%-6d %15.3f %15.3f\n", round, plainTimes.back(), backupTimes.back());
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\CleanerBench");
  const double plain = bench::Median(plainTimes);
  const double backedUp = bench::Median(backupTimes);
  std::printf("%-6s %15.3f %15.3f\n", "median", plain, backedUp);
  std::printf("ratio with / without backup: %.2f\n", backedUp / plain);
  bench::PrintResult("registry tree delete with backup, 10,000 keys", backedUp, "s", "the same without backup",
                     plain, bench::Better::Lower, static_cast<std::size_t>(rounds));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "files" && argc >= 5) {
    return DeleteFileTrees(argv[2], argv[3], argv[4], argc < 6 || std::string(argv[5]) != "ba");
  }
  if (mode == "registry" && argc >= 4) return DeleteRegistryTrees(std::max(1, std::atoi(argv[2])), argv[3]);
  std::fprintf(stderr,
               "usage: bench_backup_bench files TREE_PLAIN TREE_BACKUP BACKUP_FOLDER [ab|ba]\n"
               "       bench_backup_bench registry ROUNDS BACKUP_FOLDER\n");
  return 2;
}
