#include <windows.h>

#include "engine/cleaner_context.h"
#include "engine/run_observer.h"
#include "engine/trace.h"

namespace {
void ListLine(CleanerContext& context, const std::string& line, int& count) {
  // The trace keeps a record of what was left behind, also in the unattended run mode.
  if (context.state.TraceLogOn) context.trace.Write(line);
  ++count;
  if (context.observer != nullptr) context.observer->Listed(line, &count == &context.outcome.scheduled);
  if (context.state.RunMode == 1) return;
  context.reporter.ShowInfo(line);
}
}  // namespace

void AddInfo(CleanerContext& context, const std::string& line) { ListLine(context, line, context.outcome.notRemoved); }

void AddScheduledInfo(CleanerContext& context, const std::string& line) {
  ListLine(context, line, context.outcome.scheduled);
}

void TraceIfOn(CleanerContext& context, const std::string& message) {
  if (context.state.TraceLogOn) context.trace.Write(message);
}
