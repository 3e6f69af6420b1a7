#pragma once
// Told when a cleaning run starts and when it ends, however it ends. The run does not know
// what listens: the application hangs here the layers of the gateway that act only for a
// run's length, such as the backup.
#include "engine/run_options.h"

struct CleanerContext;

class RunHook {
 public:
  virtual ~RunHook() = default;
  virtual void RunStarting(CleanerContext& context, const RunOptions& options) = 0;
  virtual void RunEnded() = 0;
};
