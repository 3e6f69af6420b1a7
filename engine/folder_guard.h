#pragma once
// Which folders a folder tree deletion must never empty: drive roots, share roots, and
// every folder of a protected list together with every folder above one of them.
#include <string>
#include <string_view>
#include <vector>

// The comparison form of a Windows path: `/` read as `\`, doubled `\` collapsed, `.` and
// `..` resolved, trailing dots and blanks of each name dropped (Windows ignores them),
// trailing `\` removed, a to z upper-cased. A drive root becomes "C:", a root of the
// current drive "\", a share root "\\SERVER\SHARE"; a relative path stays relative.
std::string NormalizedFolder(std::string_view path);

// True for a path that names a whole drive or share or no folder at all: empty, "C:",
// "C:\", a lone "\", "\\server", "\\server\share", device paths such as "\\.\X" that do
// not name a folder on a drive letter.
bool IsRootFolder(std::string_view path);

// True when the path is a root (above), one of the protected folders, or a folder above
// one of them. Case-insensitive, on the normalised forms.
bool IsProtectedFolder(std::string_view path, const std::vector<std::string>& protectedFolders);
