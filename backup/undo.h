#pragma once
// Puts back what a backed-up run changed, newest change first: files and links moved back
// with their attributes and times, folders made again, keys and values written back with
// their exact types and bytes, values the run wrote taken away. Nothing that exists now is
// overwritten: such an item is listed and left. Ended processes and stopped services are not
// started again. Undoing a run twice changes nothing the second time.
#include <string>

struct CleanerContext;

// runFolder: the run's backup folder (DIR\<yyyy-mm-dd_hh-mm-ss>), a plain full path. A missing
// or unreadable journal raises Exception before anything is changed.
void RunUndo(CleanerContext& context, const std::string& runFolder);

inline constexpr char kUndoStartText[] = "Undo of the backup ";
inline constexpr char kUndoNoJournalText[] = "No backup journal in ";
inline constexpr char kUndoBadJournalText[] = "The backup journal cannot be read: ";
// Followed by what stays as it is now.
inline constexpr char kNotRestoredExistsText[] = "Not restored, something else is there now: ";
inline constexpr char kNotRestoredMissingCopyText[] = "Not restored, the backup copy is missing: ";
// Followed by what, " - " and the system's reason.
inline constexpr char kNotRestoredText[] = "Not restored: ";
// A file the system still deletes at the next restart: undo has put nothing in its way.
inline constexpr char kStillPendingText[] = "Still to be deleted at restart: ";
inline constexpr char kRestoredText[] = "Restored ";
inline constexpr char kNotRestartedText[] = "Not started again (ended by the run): ";
inline constexpr char kUndoCompleteText[] = "Undo complete";
