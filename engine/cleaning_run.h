#pragma once
// One cleaning run, what the Start button does: confirm deletion when the folders were
// edited, end the product's processes, one rule pass, remove shortcuts, report completion.
#include "engine/cleaner_context.h"

void RunCleaning(CleanerContext& context);

// True when a run ends with shortcut removal: deletion permitted, CheckBox3 enabled and checked.
bool ShortcutRemovalWanted(const CleanerContext& context);
