#pragma once
// One walk through the rule file: every section it lists is carried out in file order.
#include "engine/cleaner_context.h"

// Reads the rule file at RuleFilePath from its first line to its last and hands each
// section entry to its action. Errors end the pass with the file closed and travel on.
void RunRulePass(CleanerContext& context);

// One more rule line read: Progress goes up by one and the gauge follows.
void ProgressStep(CleanerContext& context);
