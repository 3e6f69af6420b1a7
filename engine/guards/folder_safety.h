#pragma once
// The folders of this machine that a folder tree deletion must never empty, gathered once
// per run, and the check every folder tree deletion (rule entries and the Start Menu
// folder alike) makes before it touches anything.
#include <string>
#include <vector>

#include "engine/guards/folder_guard.h"

struct CleanerContext;

// The line added to the information list for a refused folder, followed by its path.
inline constexpr char kRefusedFolderText[] = "Refused to delete protected folder ";

// Windows, System (both views), Program Files and Common Files (both views), ProgramData,
// Users, Public, every folder of the shell (its default place from the known-folder API,
// its place now from the user's and the common Shell Folders and User Shell Folders keys),
// the profiles folder and every profile folder ProfileList names. Comparison forms are upper-cased in UTF-16, written as UTF-8 (the guard's rules
// look only at ASCII); identities are those of each folder and every folder above one.
ProtectedFolderSet GatherProtectedFolders();

// The set of this run: a run gathers it before its first entry, so that nothing the run
// does to the registry can shrink it; outside a run it is gathered on first use. It adds
// the Windows, System and Program Files folders the state names.
const ProtectedFolderSet& ProtectedFolders(CleanerContext& context);

// True when deleting the tree at path (ANSI, as the rule line holds it) would empty a root,
// a protected folder or a folder above one, by any of its written forms or by what it opens
// (its identity and the path the system gives back). Nothing is reported.
bool IsRefusedFolder(CleanerContext& context, const std::string& path);

// As IsRefusedFolder; a refused path is also added to the information list.
bool RefuseFolder(CleanerContext& context, const std::string& path);

// True, with the refused line, when the folder at path (UTF-16, full, ordinary or extended)
// opens a protected folder or one above one: a link met inside a tree is never descended.
bool RefuseFolderByIdentity(CleanerContext& context, const std::wstring& path);
