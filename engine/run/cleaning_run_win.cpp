#include <windows.h>

#include "engine/run/cleaning_run.h"

#include "engine/guards/folder_safety.h"
#include "engine/run/process_termination.h"
#include "engine/run/rule_pass.h"
#include "engine/run/shortcut_removal.h"
#include "engine/run_hook.h"
#include "platform/registry/user_hives.h"

namespace {

// Tells the application's hook that a run starts, and that it ended, however it ends.
class HookForRun {
 public:
  HookForRun(CleanerContext& context, const RunOptions& options) : hook_(context.runHook) {
    if (hook_ != nullptr) hook_->RunStarting(context, options);
  }
  ~HookForRun() {
    if (hook_ != nullptr) hook_->RunEnded();
  }
  HookForRun(const HookForRun&) = delete;
  HookForRun& operator=(const HookForRun&) = delete;

 private:
  RunHook* hook_;
};

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

bool FoldersWereEdited(const RunOptions& options) {
  return options.initialProgramFolder != options.programFolder ||
         options.initialSharedFolder != options.sharedFolder;
}

// The question names the folders this run will delete; whatever the fields hold by the time
// it is answered, the run deletes those.
void ConfirmDeletion(CleanerContext& context, RunOptions& options) {
  if (!options.deleteFilesAndFolders || !FoldersWereEdited(options)) return;
  const bool yes = context.reporter.Confirm("Do you really want to delete all files in " + options.programFolder +
                                            " and " + options.sharedFolder + " ?");
  if (yes) return;
  options.deleteFilesAndFolders = false;
  options.deleteShortcuts = false;
  context.state.DeletePermission = false;
  context.view.DeletionRefused();
}

// Every user's hive is reached with the switch or the setting, and by itself under the
// LocalSystem account, whose own profile holds no user's leftovers.
bool ReachesEveryUser(CleanerContext& context) {
  if (context.state.OptAllUsers) return true;
  if (!RunsAsLocalSystem()) return false;
  TraceIfOn(context, kLocalSystemTrace);
  return true;
}

}  // namespace

OtherUsersForRun::OtherUsersForRun(CleanerContext& context, const HiveServices& services) : context_(context) {
  if (!ReachesEveryUser(context)) return;
  hives_.emplace(services);
  context.userHives = hives_->Hives();
  for (const std::string& reason : hives_->PassedOver()) TraceIfOn(context, kProfilePassedOverText + reason);
  for (const std::string& failure : hives_->NotLoaded()) AddInfo(context, kHiveNotLoadedText + failure);
}

void OtherUsersForRun::Finish() {
  context_.userHives.clear();
  if (!hives_) return;
  const std::vector<std::string> stayed = hives_->Unload();
  hives_.reset();
  for (const std::string& failure : stayed) AddInfo(context_, kHiveNotUnloadedText + failure);
}

OtherUsersForRun::~OtherUsersForRun() { context_.userHives.clear(); }

void RunCleaning(CleanerContext& context, RunOptions options) {
  // Start pressed again during the pauses of process termination: the run goes on alone.
  if (context.runUnderWay) return;
  RunUnderWay underWay(context);
  // The system's folders are read afresh for every run, before its first entry: a rule that
  // deletes a Shell Folders value must not switch off that folder's protection.
  context.protectedFolders.reset();
  context.productFiles.reset();
  context.productItems.reset();
  context.pendingFolders.reset();
  (void)ProtectedFolders(context);

  ConfirmDeletion(context, options);
  const HookForRun hook(context, options);
  if (options.endProcesses) TerminateProductProcesses(context);
  // Other users' hives are loaded only while entries act in them: a hive held loaded longer
  // keeps its user from signing in to the own profile.
  OtherUsersForRun otherUsers(context);
  RunRulePass(context, options);
  if (options.deleteFilesAndFolders && options.deleteShortcuts) RemoveShortcuts(context);
  otherUsers.Finish();
  if (context.state.RunMode == 0) context.reporter.SimpleMessage("Registry clean complete");
  TraceIfOn(context, "Registry clean complete");
}
