#include <windows.h>

#include "startup/detection.h"

#include <algorithm>

#include "engine/cleaner_context.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run/cleaning_run.h"
#include "engine/run/process_termination.h"
#include "engine/run/rule_pass.h"
#include "engine/run/shortcut_removal.h"
#include "engine/run_view.h"
#include "platform/errors.h"
#include "platform/files_paths.h"
#include "platform/process_services.h"
#include "platform/wide_text.h"
#include "startup/startup.h"

namespace {

void NoPause(DWORD) {}

class SilentReporter : public Reporter {
 public:
  void ShowInfo(const std::string&) override {}
  void SimpleMessage(const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
};

// The changes that remove something; attribute changes only prepare a removal.
const char* VerbOf(RecordedAction::Kind kind) {
  switch (kind) {
    case RecordedAction::Kind::RemoveFile: return "remove-file ";
    case RecordedAction::Kind::RemoveFolder: return "remove-folder ";
    case RecordedAction::Kind::DeleteAtRestart: return "delete-at-restart ";
    case RecordedAction::Kind::DeleteKey: return "delete-key ";
    case RecordedAction::Kind::DeleteValue: return "delete-value ";
    case RecordedAction::Kind::WriteValue: return "write-value ";
    case RecordedAction::Kind::EndProcess: return "end-process ";
    case RecordedAction::Kind::StopService: return "stop-service ";
    default: return nullptr;
  }
}

std::string TargetOf(const RecordedAction& action) {
  if (action.wideTarget.empty()) return action.target;
  return AnsiFromWide(OrdinaryPath(action.wideTarget));
}

}  // namespace

std::vector<std::string> DetectLeftovers(CleanerState& state, Trace& trace, const std::string& commandLine,
                                         const std::string& programPath) {
  RecordingEffects effects;
  NoRunView view;
  SilentReporter reporter;
  CleanerContext context{state, view, effects, reporter, trace};
  state.QuietMode = true;
  if (!PrepareStartup(context, commandLine, programPath)) throw Exception("File with rule does not Exist");
  // Every target counts, whatever the run would be permitted to delete.
  state.RunMode = 1;
  state.DeletePermission = true;
  RunOptions options = UnattendedRunOptions(state);
  options.endProcesses = true;
  options.deleteFilesAndFolders = true;
  options.deleteShortcuts = true;
  {
    const OtherUsersForRun otherUsers(context);
    TerminateProductProcesses(context, ProcessTerminationServices{TakeProcessSnapshot, NoPause});
    RunRulePass(context, options);
    RemoveShortcuts(context);
  }
  std::vector<std::string> left;
  for (const RecordedAction& action : effects.actions) {
    const char* verb = VerbOf(action.kind);
    if (verb == nullptr) continue;
    std::string line = verb + TargetOf(action);
    // The dry run ends nothing, so every pass of the termination meets a process again.
    if (std::find(left.begin(), left.end(), line) == left.end()) left.push_back(std::move(line));
  }
  for (const std::string& line : left) TraceIfOn(context, kLeftText + line);
  return left;
}
