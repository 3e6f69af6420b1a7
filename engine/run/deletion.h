#pragma once
// The two file system actions of the rule file and of shortcut removal. A rule entry is
// ANSI text; it is turned into UTF-16 once, and every file call after that is a UTF-16 one
// on the extended form, so neither a name outside the code page nor a path's length stops
// a deletion. Every change goes through the context's effects; what stays is listed.
#include <string>

struct CleanerContext;

// Deletes every file below the folder, bottom-up, then the folder itself once empty
// (read-only or not), through handles: each folder is opened as itself, checked (a link in its
// place is removed as a link, a protected folder refused, a folder that is no longer the one
// listed left), listed through its handle, and each child deleted relative to it. An empty
// path deletes nothing; a path that is not a plain drive path, a protected folder
// (folder_safety.h), a folder in the Windows folder holding Windows' own files
// (windows_files_win.h) and a child name that would lead outside the tree are refused and
// listed; a folder that stays is listed with the system's reason unless something listed
// inside it explains it.
void DeleteFolderTree(CleanerContext& context, const std::string& path);

// Deletes one existing file after resetting its attributes; a missing file or a folder is
// passed over in silence, an empty path deletes nothing, a path that is not a plain drive
// path and Windows' own file are refused.
//
// Both: with deletion at restart on (CleanerState::DeleteAtRestart), a file in use is moved
// into the cleaner's own pending folder on its volume and scheduled for deletion at the next
// restart there (restart_aside.h), listed by its own name; where it cannot be moved, it is
// scheduled by the path the system gives for the opened file (never an alias), and the line
// says why. A folder that stays only because of such files is scheduled after them, by its
// final path. A running program or a loaded library counts as in use. On 64-bit Windows an entry
// in the System folder is carried out in the real System32 too, after the redirected one, and
// an entry in the 32-bit Program Files or Common Files folder in the 64-bit one, every guard
// asked again there.
void DeleteSingleFile(CleanerContext& context, const std::string& path);

inline constexpr char kTreeFileNotDeletedText[] = "Could NOT delete   ";
inline constexpr char kFileNotDeletedText[] = "Could NOT delete ";
// Followed by the folder, " - " and the system's reason ("error 145: ...").
inline constexpr char kFolderNotDeletedText[] = "Could NOT delete folder ";
// With deletion at restart on: followed by the file or folder the system deletes at the next
// restart; and, when the system refuses the request, by the path, " - " and its reason.
inline constexpr char kDeletedAtRestartText[] = "Will be deleted at restart: ";
inline constexpr char kRestartNotScheduledText[] = "Could NOT schedule deletion at restart: ";
// After the path of a file in use that could not be moved into the cleaner's pending folder
// first (restart_aside.h), so that it is scheduled by its own path; followed by why.
inline constexpr char kByPathText[] = " - by its own path, as it could not be moved aside: ";
// After a file that was moved aside and then not scheduled, and " - "; followed by its new
// name, ": " and the system's reason.
inline constexpr char kMovedToText[] = "it was moved to ";
// A folder left to the restart that, listed again, holds a name that came since: the folder
// would stay at the restart. Follows the folder and " - ", and is followed by the name.
inline constexpr char kNewEntryText[] = "something came into it since: ";
// A folder of the tree whose name, when the walk came to it, opened something else than the
// folder listed (swapped for a link or another folder): nothing there is touched. Follows
// the folder and " - ".
inline constexpr char kReplacedText[] = "it was replaced by something else while the tree was deleted";
// Traced before an entry in the System folder is carried out in the real System32 of 64-bit
// Windows; followed by the path there.
inline constexpr char kRealSystemFolderText[] = "Also in the 64-bit System32: ";
// The same for an entry in Program Files or Common Files, followed by the path in the 64-bit
// folder of the two.
inline constexpr char kNativeProgramFolderText[] = "Also in the 64-bit Program Files: ";
// Followed by the entry as the rule line holds it, " - " and why it is not plain.
inline constexpr char kNotPlainPathText[] = "Refused to delete path not in plain drive form ";
// Followed by the path of a read-only file that has other names (hard links): its attributes
// belong to the file, which all its names share, so clearing them to delete this name would
// change what the other names show, and restoring them afterwards would leave them changed
// where the run is cut short. The name stays.
inline constexpr char kSharedReadOnlyText[] = "Refused to delete read-only file with other names (hard links): ";
// Followed by the path of a child whose name holds `\`, `/` or `:` or is "." or "..".
inline constexpr char kUnsafeNameText[] = "Refused to delete unsafe name ";
