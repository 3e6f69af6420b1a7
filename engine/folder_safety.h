#pragma once
// The folders of this machine that a folder tree deletion must never empty, gathered once
// per run, and the check every folder tree deletion (rule entries and the Start Menu
// folder alike) makes before it touches anything.
#include <string>
#include <vector>

struct CleanerContext;

// The line added to the information list for a refused folder, followed by its path.
inline constexpr char kRefusedFolderText[] = "Refused to delete protected folder ";

// Windows, System (both views), Program Files and Common Files (both views), and every
// folder the user's and the common Shell Folders keys name, in their comparison forms:
// upper-cased in UTF-16, written as UTF-8 (the guard's rules look only at ASCII).
std::vector<std::string> GatherProtectedFolders();

// The list of this run: gathered on first use and kept in the context until the run ends.
const std::vector<std::string>& ProtectedFolders(CleanerContext& context);

// True when deleting the tree at path (ANSI, as the rule line holds it) would empty a root,
// a protected folder or a folder above one. Nothing is reported.
bool IsRefusedFolder(CleanerContext& context, const std::string& path);

// As IsRefusedFolder; a refused path is also added to the information list.
bool RefuseFolder(CleanerContext& context, const std::string& path);
