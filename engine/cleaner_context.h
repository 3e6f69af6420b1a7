#pragma once
// What start-up and a cleaning run work with: the state, the view that shows their progress,
// the gateway for changes, and the ways they report.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/reporter.h"
#include "engine/run_view.h"
#include "platform/files/system_mirror.h"
#include "platform/registry/user_hives.h"

class Effects;
class RunHook;
class RunObserver;
class RestartPathSecurity;
struct ProtectedFolderSet;
struct ProductFiles;
struct ProductItems;
struct PendingFolders;
class Trace;

// What scripts learn from the exit code: 3010, the installers' "restart required", when
// only deletions at restart stand between the run and a clean machine.
struct RunOutcome {
  int notRemoved = 0;    // AddInfo lines: files that could not be deleted, refused entries
  int scheduled = 0;     // files and folders the system deletes at the next restart
  bool errorShown = false;  // an error reached the error handler, or the rule file was missing
  int ExitCode() const {
    if (errorShown) return 2;
    if (notRemoved > 0) return 1;
    return scheduled > 0 ? kRestartRequiredExitCode : 0;
  }
  static constexpr int kRestartRequiredExitCode = 3010;
};

struct CleanerContext {
  CleanerState& state;
  RunView& view;
  Effects& effects;
  Reporter& reporter;
  Trace& trace;
  RunOutcome outcome{};
  bool runUnderWay = false;
  // Folders a tree deletion must not empty; gathered afresh when a run starts.
  std::shared_ptr<const ProtectedFolderSet> protectedFolders{};
  // What the rule file deletes, for judging whose a registered file is; read when first needed.
  std::shared_ptr<const ProductFiles> productFiles{};
  // The registry items the run found to be the product's, for items that name them later.
  std::shared_ptr<ProductItems> productItems{};
  // The cleaner's own folders that hold what a run moved aside for deletion at restart, held
  // open for the run; made on first use, afresh for every run.
  std::shared_ptr<PendingFolders> pendingFolders{};
  // The System folder and, on 64-bit Windows, the real System32; read on first use.
  std::optional<SystemMirror> systemMirror{};
  // Whether registry entries act in both views of a 64-bit Windows; asked of the system on
  // first use unless set beforehand.
  std::optional<bool> bothRegistryViews{};
  // Other users' hives that HKEY_CURRENT_USER entries and the Startup shortcut reach too;
  // set for one run, while the hives are loaded.
  std::vector<UserHive> userHives{};
  // Told when a run starts and ends; the application hangs here the layers of `effects` that
  // act only for a run's length (the backup).
  RunHook* runHook = nullptr;
  // Told of every information line and every error shown; none when nobody listens.
  RunObserver* observer = nullptr;
  // Where the folders of a path scheduled for the restart are judged; the system's when none.
  RestartPathSecurity* restartPathSecurity = nullptr;
};

// Writes a trace line when the trace log is on.
void TraceIfOn(CleanerContext& context, const std::string& message);
// Adds a line to the information list (silent in run mode 1), to the trace log when it is
// on, and counts it for the exit code.
void AddInfo(CleanerContext& context, const std::string& line);
// The same for a file or folder scheduled for deletion at restart: listed and traced, but
// counted as scheduled, not as left behind.
void AddScheduledInfo(CleanerContext& context, const std::string& line);
