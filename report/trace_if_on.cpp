#include "engine/cleaner_context.h"
#include "report/trace_log.h"

void TraceIfOn(CleanerContext& context, const std::string& message) {
  if (context.state.TraceLogOn) context.trace.Write(message);
}
