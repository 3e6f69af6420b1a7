#pragma once
// One walk through the rule file: every section it lists is carried out in file order.
#include "engine/cleaner_context.h"

// Reads the rule file at RuleFilePath from its first line to its last and hands each
// section entry to its action. Errors end the pass with the file closed and travel on.
void RunRulePass(CleanerContext& context);

// One more rule line read: Progress goes up by one and the gauge follows.
void ProgressStep(CleanerContext& context);

// The line reported for an entry that holds a NUL byte, followed by its line number. The
// Windows calls would read such a name only up to the NUL, and so act on something the
// entry does not name and no guard has checked; the entry is refused instead.
inline constexpr char kRefusedNulEntry[] = "Refused rule entry holding a NUL byte in line ";
