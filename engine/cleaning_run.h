#pragma once
// One cleaning run, what the Start button does: confirm deletion when the folders were
// edited, end the product's processes, one rule pass, remove shortcuts, report completion.
#include "engine/cleaner_context.h"
#include "engine/run_options.h"

// Runs with the options as given; a refused confirmation turns deletion and shortcut removal
// off for this run and tells the view.
void RunCleaning(CleanerContext& context, RunOptions options);
