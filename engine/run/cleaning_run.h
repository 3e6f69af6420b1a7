#pragma once
// One cleaning run, what the Start button does: confirm deletion when the folders were
// edited, end the product's processes, one rule pass, remove shortcuts, report completion.
#include <optional>

#include "engine/cleaner_context.h"
#include "engine/run_options.h"
#include "platform/registry/user_hives_win.h"

// Runs with the options as given; a refused confirmation turns deletion and shortcut removal
// off for this run and tells the view.
void RunCleaning(CleanerContext& context, RunOptions options);

// For the part of a run that acts in users' registries (the rule pass and the shortcuts):
// with OptAllUsers, or under the LocalSystem account (with a trace line saying so), hands the
// context the other users' hives, loading those not loaded, and takes them back before they
// are unloaded. A profile passed over is a trace line; a hive that cannot be loaded, or that
// stays loaded after Finish, is an information line. The destructor unloads without lines
// when an error ended the run before Finish.
class OtherUsersForRun {
 public:
  explicit OtherUsersForRun(CleanerContext& context, const HiveServices& services = LiveHiveServices());
  ~OtherUsersForRun();
  OtherUsersForRun(const OtherUsersForRun&) = delete;
  OtherUsersForRun& operator=(const OtherUsersForRun&) = delete;

  // Closes the context's hold on the hives and unloads them, listing each that stayed.
  void Finish();

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
// A trace line for a profile with nothing to load, followed by its SID and why.
inline constexpr char kProfilePassedOverText[] = "Passed over the profile of user ";
// An information line for a hive that stayed loaded after the run, followed by the SID, its
// name below HKEY_USERS and the system's reason. Windows would give that user a temporary
// profile at the next sign-in.
inline constexpr char kHiveNotUnloadedText[] = "Could NOT unload the registry of user ";
