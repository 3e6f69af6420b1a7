#pragma once
// Links on the way to what a rule line names. A rule line names a place by its path; a folder
// on that path that is a link (a junction or symbolic link a normal user may make in a folder
// of their own) would send the deletion into whatever it points to, System32 included. Each
// level is opened relative to the one above without following a link, looked at as that
// folder lists it, and held open until the deletion is done: the deletion acts relative to
// the last level, so a link made on the way after the check is never followed.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/files/relative_files.h"
#include "platform/handles.h"

struct CleanerContext;

// Followed by the entry, " - ", the link, " is a link".
inline constexpr char kRefusedLinkOnTheWayText[] = "Refused to delete through a link on the way: ";

// The folders from the drive's root down to the one that holds the last name of a path, each
// held open; and that last name as its folder lists it.
struct HeldLevels {
  std::vector<UniqueFile> levels;  // the drive's root first
  std::wstring link;               // the first level that is a link, in ordinary form; empty when none
  DWORD error = ERROR_SUCCESS;     // why a level could not be opened (ERROR_PATH_NOT_FOUND: one is missing)
  std::wstring lastName;           // the last name of the path as written
  FolderChild entry{};             // the last name as its folder lists it
  bool listed = false;             // whether its folder lists it
  bool Held() const { return error == ERROR_SUCCESS && link.empty() && !levels.empty(); }
  HANDLE Parent() const { return levels.empty() ? INVALID_HANDLE_VALUE : levels.back().Get(); }
};

// Opens and holds the levels of path (full, ordinary or extended form, on a drive). Stops at
// the first level that is a link (`link` names it) or that cannot be opened (`error`).
HeldLevels HoldLevels(const std::wstring& path);

// The first folder below the drive root and above the last name of path that is a link; empty
// when there is none.
std::wstring LinkOnTheWay(const std::wstring& path);

// True, with the refused line naming the entry as shown, when the levels met a link.
bool RefuseLinkOnTheWay(CleanerContext& context, const HeldLevels& held, const std::string& shown);
