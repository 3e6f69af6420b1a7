#include <windows.h>

#include "engine/cleaner_context.h"
#include "engine/trace.h"

void AddInfo(CleanerContext& context, const std::string& line) {
  // The trace keeps a record of what was left behind, also in the unattended run mode.
  if (context.state.TraceLogOn) context.trace.Write(line);
  ++context.outcome.notRemoved;
  if (context.state.RunMode == 1) return;
  context.reporter.ShowInfo(line);
}

void TraceIfOn(CleanerContext& context, const std::string& message) {
  if (context.state.TraceLogOn) context.trace.Write(message);
}
