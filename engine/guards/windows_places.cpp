#include "engine/guards/windows_places.h"

#include <algorithm>
#include <array>

#include "engine/guards/folder_guard.h"
#include "platform/text/text_rules.h"

namespace {

constexpr std::array<const char*, 12> kWindowsSubfolders = {"inf",   "Temp",     "Installer", "Tasks",
                                                            "WinSxS", "assembly", "Fonts",     "servicing",
                                                            "Microsoft.NET", "System", "Help", "Globalization"};
constexpr std::array<const char*, 11> kSystemSubfolders = {"drivers", "config",   "Tasks", "catroot",    "catroot2",
                                                           "spool",   "wbem",     "DriverStore", "LogFiles",
                                                           "WindowsPowerShell", "GroupPolicy"};
constexpr std::array<const char*, 16> kProgramFilesSubfolders = {
    "Internet Explorer", "Windows Media Player", "Windows NT", "Windows Defender", "Windows Mail",
    "Windows Photo Viewer", "Windows Sidebar", "WindowsPowerShell", "Reference Assemblies", "MSBuild", "WindowsApps",
    // Common Files' own folders.
    "Microsoft Shared", "System", "Services", "SpeechEngines", "Designer"};
constexpr std::array<const char*, 6> kProgramDataSubfolders = {
    "Package Cache", "Microsoft", "regid.1991-06.com.microsoft", "SoftwareDistribution", "USOShared", "USOPrivate"};

bool SameName(std::string_view a, const char* b) { return UpperAscii(a) == UpperAscii(b); }

// The first name below folder in path (both normalised), or empty when path is not below it.
std::string_view FirstNameBelow(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() <= folder.size() + 1 || path.substr(0, folder.size()) != folder ||
      path[folder.size()] != '\\') {
    return {};
  }
  const std::string_view rest = path.substr(folder.size() + 1);
  return rest.substr(0, rest.find('\\'));
}

}  // namespace

std::span<const char* const> WindowsSubfolderNames() { return kWindowsSubfolders; }
std::span<const char* const> SystemSubfolderNames() { return kSystemSubfolders; }
std::span<const char* const> ProgramFilesSubfolderNames() { return kProgramFilesSubfolders; }
std::span<const char* const> ProgramDataSubfolderNames() { return kProgramDataSubfolders; }

bool IsWindowsPartName(std::string_view name) {
  const auto named = [&](const char* known) { return SameName(name, known); };
  if (std::any_of(kProgramFilesSubfolders.begin(), kProgramFilesSubfolders.end(), named) ||
      std::any_of(kProgramDataSubfolders.begin(), kProgramDataSubfolders.end(), named)) {
    return true;
  }
  // Places are compared upper-cased, where no word boundary shows: a name beginning with either
  // word counts, which keeps the comparison the same in any letter case.
  const std::string upper = UpperAscii(name);
  return upper.starts_with("WINDOWS") || upper.starts_with("MICROSOFT");
}

bool IsInWindowsPlace(std::string_view path, const WindowsPlaces& places) {
  const std::string normalised = NormalizedFolder(path);
  for (const std::string& windows : places.windowsFolders) {
    if (!FirstNameBelow(normalised, windows).empty()) return true;
  }
  for (const std::string& folder : places.programFolders) {
    const std::string_view first = FirstNameBelow(normalised, folder);
    // Below the part's folder, not the part itself: that is refused whole as a protected folder.
    if (!first.empty() && IsWindowsPartName(first) && normalised.size() > folder.size() + 1 + first.size()) {
      return true;
    }
  }
  return false;
}
