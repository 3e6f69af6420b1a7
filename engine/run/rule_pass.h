#pragma once
// One walk through the rule file: every section it lists is carried out in file order.
#include "engine/cleaner_context.h"
#include "engine/run_options.h"

// Reads the rule file at RuleFilePath from its first line to its last and hands each
// section entry to its action; %Program% and %Shared% stand for the run's folders, and the
// folder and file sections act only when the run deletes files and folders. Errors end the
// pass with the file closed and travel on.
void RunRulePass(CleanerContext& context, const RunOptions& options);

// One more rule line read: Progress goes up by one and the gauge follows.
void ProgressStep(CleanerContext& context);

// The line reported for an entry that holds a NUL byte, followed by its line number. The
// Windows calls would read such a name only up to the NUL, and so act on something the
// entry does not name and no guard has checked; the entry is refused instead.
inline constexpr char kRefusedNulEntry[] = "Refused rule entry holding a NUL byte in line ";

// An entry longer than the longest path Windows accepts (32,767 UTF-16 units) names nothing
// that can exist, and some of the system's own functions fault on such a name instead of
// answering: it is refused before any call is made with it. Followed by its line number.
inline constexpr char kRefusedLongEntry[] = "Refused rule entry longer than the longest path in line ";
inline constexpr std::size_t kLongestPathUnits = 32767;
// A file or folder entry one of whose names is longer than any file system of Windows lets a
// name be (255 UTF-16 units) names nothing either; Wine faults on such a name too. Followed by
// its line number.
inline constexpr char kRefusedLongNameEntry[] = "Refused rule entry with a name longer than a file name can be in line ";
inline constexpr std::size_t kLongestNameUnits = 255;

// An entry that uses a placeholder whose folder is empty (its source could not be read, or
// the field was cleared) would name a path from the root of the current drive; it is
// refused: "Refused rule entry using %PF%, which stands for no folder, in line 12".
inline constexpr char kRefusedUnsetPlaceholder[] = "Refused rule entry using ";
inline constexpr char kStandsForNoFolder[] = ", which stands for no folder, in line ";

// A rule file in which no section header was found does nothing; the run says so, because a
// run that changed nothing must not read as a clean machine (a file saved with LF line ends
// reads as one line and has no header).
// Followed by the path of a file or folder entry that exists while deletion is not permitted.
inline constexpr char kSkippedNotPermitted[] = "Skipped (deletion not permitted): ";
inline constexpr char kNoSectionFound[] = "No section found in the rule file";
