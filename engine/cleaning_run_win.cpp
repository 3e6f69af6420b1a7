#include <windows.h>

#include "engine/cleaning_run.h"

#include "engine/process_termination.h"
#include "engine/rule_pass.h"
#include "engine/shortcut_removal.h"

namespace {

// Marks a run as under way for its whole length, also when an error ends it.
class RunUnderWay {
 public:
  explicit RunUnderWay(CleanerContext& context) : context_(context) { context_.runUnderWay = true; }
  ~RunUnderWay() { context_.runUnderWay = false; }
  RunUnderWay(const RunUnderWay&) = delete;
  RunUnderWay& operator=(const RunUnderWay&) = delete;

 private:
  CleanerContext& context_;
};

bool FoldersWereEdited(const CleanerState& state) {
  return state.InitialProgramFolder != state.ProgramFolder || state.InitialSharedFolder != state.SharedFolder;
}

void ConfirmDeletion(CleanerContext& context) {
  CleanerState& state = context.state;
  if (!state.DeletePermission || !FoldersWereEdited(state)) return;
  const bool yes = context.reporter.Confirm("Do you really want to delete all files in " + state.ProgramFolder +
                                            " and " + state.SharedFolder + " ?");
  if (yes) return;
  state.DeletePermission = false;
  context.controls.SetChecked(CheckBoxId::CheckBox2, false);
  context.controls.SetEnabled(CheckBoxId::CheckBox3, context.controls.IsChecked(CheckBoxId::CheckBox2));
}

}  // namespace

bool ShortcutRemovalWanted(const CleanerContext& context) {
  const Controls& controls = context.controls;
  return context.state.DeletePermission && controls.IsEnabled(CheckBoxId::CheckBox3) &&
         controls.IsChecked(CheckBoxId::CheckBox3);
}

void RunCleaning(CleanerContext& context) {
  // Start pressed again during the pauses of process termination: the run goes on alone.
  if (context.runUnderWay) return;
  RunUnderWay underWay(context);
  context.protectedFolders.reset();  // the system's folders are read afresh for every run

  ConfirmDeletion(context);
  if (context.controls.IsChecked(CheckBoxId::CheckBox1)) TerminateProductProcesses(context);
  RunRulePass(context);
  if (ShortcutRemovalWanted(context)) RemoveShortcuts(context);
  if (context.state.RunMode == 0) context.reporter.SimpleMessage("Registry clean complete");
  TraceIfOn(context, "Registry clean complete");
}
