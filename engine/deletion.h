#pragma once
// The two file system actions of the rule file and of shortcut removal. Every change goes
// through the context's effects; what cannot be removed is added to the information list.
#include <string>

struct CleanerContext;

// Deletes every file below the folder, bottom-up, then the folder itself once empty.
// An empty path deletes nothing; a protected folder (folder_safety.h) is refused and
// reported; links are removed as links and never followed.
void DeleteFolderTree(CleanerContext& context, const std::string& path);

// Deletes one existing file after resetting its attributes; a missing file or a folder is
// passed over in silence, an empty path deletes nothing.
void DeleteSingleFile(CleanerContext& context, const std::string& path);

inline constexpr char kTreeFileNotDeletedText[] = "Could NOT delete   ";
inline constexpr char kFileNotDeletedText[] = "Could NOT delete ";
