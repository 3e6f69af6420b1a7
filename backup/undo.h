#pragma once
// Puts back what a backed-up run changed, newest change first: files and links moved back
// with their attributes and times, folders made again, keys and values written back with
// their exact types and bytes, values the run wrote taken away. Nothing that exists now is
// overwritten: such an item is listed and left. Ended processes and stopped services are not
// started again. Undoing a run twice changes nothing the second time.
#include <string>

struct CleanerContext;
class FolderSecurity;

// runFolder: the run's backup folder (DIR\<yyyy-mm-dd_hh-mm-ss>), a plain full path. A missing
// or unreadable journal, and a run folder, a folder above it or a journal that someone other
// than the administrators can change, raise Exception before anything is changed. Each
// entry is checked before its change: what the run's guards refuse, a copy that is not the
// one the run made and a place reached through a link are listed and left.
void RunUndo(CleanerContext& context, const std::string& runFolder);
void RunUndo(CleanerContext& context, const std::string& runFolder, FolderSecurity& security);

inline constexpr char kUndoStartText[] = "Undo of the backup ";
inline constexpr char kUndoNoJournalText[] = "No backup journal in ";
inline constexpr char kUndoBadJournalText[] = "The backup journal cannot be read: ";
// Followed by what stays as it is now.
inline constexpr char kNotRestoredExistsText[] = "Not restored, something else is there now: ";
inline constexpr char kNotRestoredMissingCopyText[] = "Not restored, the backup copy is missing: ";
// Followed by what, " - " and why: the backup or the place it is to go to cannot be trusted.
inline constexpr char kNotRestoredRefusedText[] = "Not restored, refused: ";
// Followed by the run folder, " - " and why.
inline constexpr char kUndoUntrustedText[] = "The backup cannot be trusted: ";
// Followed by what, " - " and the system's reason.
inline constexpr char kNotRestoredText[] = "Not restored: ";
// A file the system still deletes at the next restart: undo has put nothing in its way.
inline constexpr char kStillPendingText[] = "Still to be deleted at restart: ";
inline constexpr char kRestoredText[] = "Restored ";
inline constexpr char kNotRestartedText[] = "Not started again (ended by the run): ";
inline constexpr char kUndoCompleteText[] = "Undo complete";
// Traced for an item found as the run found it (undone before, or never changed in the end);
// followed by what. The summary counts them, so that an undo that changed nothing says why.
inline constexpr char kAlreadyInPlaceText[] = "Already in place: ";
