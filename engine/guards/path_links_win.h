#pragma once
// Links on the way to what a rule line names. A rule line names a place by its path; a folder
// on that path that is a link (a junction or symbolic link a normal user may make in a folder
// of their own) would send the deletion into whatever it points to, System32 included. Each
// level is looked at as its parent lists it, never through the link.
#include <string>

struct CleanerContext;

// Followed by the entry, " - ", the link, " is a link".
inline constexpr char kRefusedLinkOnTheWayText[] = "Refused to delete through a link on the way: ";

// The first folder below the drive root and above the last name of path (full, ordinary or
// extended form) that is a link; empty when there is none.
std::wstring LinkOnTheWay(const std::wstring& path);

// True, with the refused line naming the entry as shown, when LinkOnTheWay finds one.
bool RefuseLinkOnTheWay(CleanerContext& context, const std::wstring& path, const std::string& shown);
