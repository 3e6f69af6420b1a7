#include "tools/snapshot/snapshot_command.h"

// The Windows build brings its own snapshot command.
#ifndef _WIN32
int RunSnapshotCommand(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "snapshot is available in the Windows build only (RuleTool.exe)\n";
  return 2;
}
#endif
