#pragma once
// The two file system actions of the rule file and of shortcut removal. A rule entry is
// ANSI text; it is turned into UTF-16 once, and every file call after that is a UTF-16 one
// on the extended form, so neither a name outside the code page nor a path's length stops
// a deletion. Every change goes through the context's effects; what stays is listed.
#include <string>

struct CleanerContext;

// Deletes every file below the folder, bottom-up, then the folder itself once empty
// (read-only or not). An empty path deletes nothing; a path that is not a plain drive path,
// a protected folder (folder_safety.h), a folder inside that opens a protected one and a child name that would lead outside the tree are refused
// and listed; links are removed as links and never followed; a folder that stays is
// listed with the system's reason unless something listed inside it explains it.
void DeleteFolderTree(CleanerContext& context, const std::string& path);

// Deletes one existing file after resetting its attributes; a missing file or a folder is
// passed over in silence, an empty path deletes nothing, a path that is not a plain drive path is refused.
//
// Both: with deletion at restart on (CleanerState::DeleteAtRestart), a file in use, and a
// folder that stays only because of such files, is scheduled for deletion at the next
// restart and listed as such. On 64-bit Windows an entry in the System folder is carried out
// in the real System32 too, after the redirected one.
void DeleteSingleFile(CleanerContext& context, const std::string& path);

inline constexpr char kTreeFileNotDeletedText[] = "Could NOT delete   ";
inline constexpr char kFileNotDeletedText[] = "Could NOT delete ";
// Followed by the folder, " - " and the system's reason ("error 145: ...").
inline constexpr char kFolderNotDeletedText[] = "Could NOT delete folder ";
// With deletion at restart on: followed by the file or folder the system deletes at the next
// restart; and, when the system refuses the request, by the path, " - " and its reason.
inline constexpr char kDeletedAtRestartText[] = "Will be deleted at restart: ";
inline constexpr char kRestartNotScheduledText[] = "Could NOT schedule deletion at restart: ";
// Traced before an entry in the System folder is carried out in the real System32 of 64-bit
// Windows; followed by the path there.
inline constexpr char kRealSystemFolderText[] = "Also in the 64-bit System32: ";
// Followed by the entry as the rule line holds it, " - " and why it is not plain.
inline constexpr char kNotPlainPathText[] = "Refused to delete path not in plain drive form ";
// Followed by the path of a child whose name holds `\`, `/` or `:` or is "." or "..".
inline constexpr char kUnsafeNameText[] = "Refused to delete unsafe name ";
