#pragma once
// One cleaning run, what the Start button does: confirm deletion when the folders were
// edited, end the product's processes, one rule pass, remove shortcuts, report completion.
#include <optional>

#include "engine/cleaner_context.h"
#include "engine/run_options.h"
#include "platform/user_hives.h"

// Runs with the options as given; a refused confirmation turns deletion and shortcut removal
// off for this run and tells the view.
void RunCleaning(CleanerContext& context, RunOptions options);

// For the life of a run: with OptAllUsers, or under the LocalSystem account (with a trace
// line saying so), hands the context the other users' hives, loading those not loaded, and
// takes them back before they are unloaded, also when an error ends the run. A hive that
// cannot be loaded is an information line.
class OtherUsersForRun {
 public:
  explicit OtherUsersForRun(CleanerContext& context);
  ~OtherUsersForRun();
  OtherUsersForRun(const OtherUsersForRun&) = delete;
  OtherUsersForRun& operator=(const OtherUsersForRun&) = delete;

 private:
  CleanerContext& context_;
  std::optional<UserHives> hives_;
};

// The trace line of a run under the LocalSystem account, which reaches every user by itself.
inline constexpr char kLocalSystemTrace[] =
    "Running as LocalSystem: HKEY_CURRENT_USER entries act for every user profile";
// An information line for a user profile whose registry could not be loaded, followed by its
// SID, its hive file and the system's reason.
inline constexpr char kHiveNotLoadedText[] = "Could NOT load the registry of user ";
