#include "tools/plan/plan_options.h"

std::optional<PlanOptions> ParsePlanOptions(const std::vector<std::string>& arguments, std::string& problem) {
  PlanOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string* folder = argument == "--program" ? &options.programFolder
                          : argument == "--shared" ? &options.sharedFolder
                          : argument == "--rules"  ? &options.ruleFile
                          : argument == "--backup" ? &options.backupFolder
                                                   : nullptr;
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "--all-users") {
      options.allUsers = true;
    } else if (argument == "--delete-at-restart") {
      options.deleteAtRestart = true;
    } else if (folder == nullptr) {
      problem = "plan does not know \"" + argument + "\"";
      return std::nullopt;
    } else if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
      problem = argument + " needs a value";
      return std::nullopt;
    } else {
      *folder = arguments[++i];
    }
  }
  return options;
}
