#pragma once
// What start-up and a cleaning run work with: the state, the view that shows their progress,
// the gateway for changes, and the ways they report.
#include <optional>
#include <string>
#include <vector>

#include "engine/cleaner_state.h"
#include "engine/folder_guard.h"
#include "engine/reporter.h"
#include "engine/run_view.h"

class Effects;
class Trace;

// What scripts learn from the exit code.
struct RunOutcome {
  int notRemoved = 0;    // AddInfo lines: files that could not be deleted, refused entries
  bool errorShown = false;  // an error reached the error handler, or the rule file was missing
  int ExitCode() const { return errorShown ? 2 : (notRemoved > 0 ? 1 : 0); }
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
  std::optional<ProtectedFolderSet> protectedFolders{};
};

// Writes a trace line when the trace log is on.
void TraceIfOn(CleanerContext& context, const std::string& message);
// Adds a line to the information list (silent in run mode 1), to the trace log when it is
// on, and counts it for the exit code.
void AddInfo(CleanerContext& context, const std::string& line);
