#pragma once
// The forms of a full Windows path in UTF-16: the extended form ("\\?\C:\...",
// "\\?\UNC\server\share\...") that the file calls take whatever the path's length and
// whatever its names end with, and the ordinary form people read. Portable text rules.
#include <string>
#include <string_view>

// A full path: a drive letter, a colon and a backslash; or a share "\\server\share"; or
// either of these in extended form. Outside the extended form `/` counts as `\`, as
// Windows reads it. Relative, drive-relative ("C:x"), root-relative
// ("\x") and device paths ("\\.\X") are not.
bool IsFullPath(std::wstring_view path);

// The extended form of a full path with `\` separators; an extended path stays as it is.
std::wstring ExtendedPath(std::wstring_view fullPath);
// The ordinary form: "\\?\C:\x" is "C:\x", "\\?\UNC\server\share" is "\\server\share".
std::wstring OrdinaryPath(std::wstring_view path);

// The path without trailing backslashes; a drive root keeps its one ("C:\").
std::wstring WithoutTrailingBackslashes(std::wstring path);

// A name a folder enumeration may hand back that names one entry inside its folder: not
// empty, not "." or "..", and free of `\`, `/` and `:` (a stream or a drive).
bool IsSafeChildName(std::wstring_view name);

// True when path lies strictly below top: it starts with top and a `\` (letters a to z in
// either case), and every name after that is a safe child name. Both in the same form.
bool IsBelowFolder(std::wstring_view path, std::wstring_view top);
