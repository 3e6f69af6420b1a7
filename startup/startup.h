#pragma once
// Start-up, run inside the main window's creation: command line, Windows folders,
// settings, rule file, folder discovery, then the controls and, in run mode 1, the run.
#include "engine/cleaner_context.h"

void RunStartup(CleanerContext& context);
