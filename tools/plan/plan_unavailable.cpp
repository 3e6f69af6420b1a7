#include "tools/plan/plan_command.h"

// The Windows build brings its own plan command.
#ifndef _WIN32
int RunPlanCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "plan is available in the Windows build only (RuleTool.exe)\n";
  return 2;
}
#endif
