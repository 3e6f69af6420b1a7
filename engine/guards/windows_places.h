#pragma once
// Windows' places on disk: the Windows folder, Windows' own folders inside it and inside the
// System, Program Files, Common Files and ProgramData folders. Inside the Windows folder and
// inside Windows' parts of the others, nothing goes on a rule's word alone: an item needs the
// product's evidence there.
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Windows' own folders by name: in the Windows folder, in each System folder, in each Program
// Files and Common Files folder, in ProgramData. No product installs them; each is refused whole.
std::span<const char* const> WindowsSubfolderNames();
std::span<const char* const> SystemSubfolderNames();
std::span<const char* const> ProgramFilesSubfolderNames();
std::span<const char* const> ProgramDataSubfolderNames();

// True for a folder right in Program Files, Common Files or ProgramData that is Windows' part
// of it: one of the names above, or a name that begins with Windows or Microsoft ("Microsoft
// Shared", "WindowsApps", "Windows Defender"). Any letter case.
bool IsWindowsPartName(std::string_view name);

// The folders the places are found in, each in the form NormalizedFolder gives.
struct WindowsPlaces {
  std::vector<std::string> windowsFolders;  // every form of the Windows folder
  std::vector<std::string> programFolders;  // Program Files, Common Files and ProgramData, both views
};

// True when the path lies inside the Windows folder, or inside Windows' part of a program or
// data folder (not the part's folder itself only: that is a protected folder of its own).
// Compared on the normalised forms (a to z upper-cased; callers upper-case the rest).
bool IsInWindowsPlace(std::string_view path, const WindowsPlaces& places);
