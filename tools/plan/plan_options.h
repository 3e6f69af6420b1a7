#pragma once
// The command line of RuleTool plan.
#include <optional>
#include <string>
#include <vector>

inline constexpr char kPlanUsage[] =
    "RuleTool plan [--json] [--all-users] [--program DIR] [--shared DIR] [--rules FILE] [--delete-at-restart] "
    "[--backup DIR]";

struct PlanOptions {
  bool json = false;
  bool allUsers = false;      // --all-users: as the cleaner's /ALLUSERS
  std::string programFolder;  // --program: as if typed into the program folder field
  std::string sharedFolder;   // --shared: as if typed into the shared folder field
  std::string ruleFile;       // --rules: instead of the Do_list.dat beside RuleTool.exe
  bool deleteAtRestart = false;  // --delete-at-restart: as the cleaner's /R
  std::string backupFolder;      // --backup: as the cleaner's /BACKUP=DIR
};

// The options, or nothing with the problem described.
std::optional<PlanOptions> ParsePlanOptions(const std::vector<std::string>& arguments, std::string& problem);
