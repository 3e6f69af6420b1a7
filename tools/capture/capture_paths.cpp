#include "tools/capture/capture_paths.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/text/text_rules.h"
#include "startup/folder_discovery.h"
#include "tools/snapshot/snapshot_record.h"

namespace {

constexpr std::string_view kUsersKey = "HKEY_USERS\\";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";

std::string_view Bare(std::string_view name) { return name.substr(1); }  // without its "\"

// The path below folder, with its leading "\", or nothing when it is not below it.
std::optional<std::string> Below(std::string_view path, const std::string& folder) {
  if (folder.empty() || !IsWithin(path, folder)) return std::nullopt;
  return std::string(path.substr(folder.size()));
}

// The first name of a rest such as "\Velmora Lab\bin".
std::string_view FirstName(std::string_view rest) {
  rest.remove_prefix(1);
  return rest.substr(0, rest.find('\\'));
}

bool NamedAs(std::string_view name, std::initializer_list<const char*> names) {
  for (const char* candidate : names) {
    if (EqualsIgnoringAsciiCase(name, Bare(candidate))) return true;
  }
  return false;
}

// A profile's Roaming or Local application data folder: as the snapshot names them, and for a
// snapshot that names none, their places in each profile (Vista and later, then Windows XP).
std::optional<RulePath> PerUserRulePath(std::string_view path, const SnapshotFolders& folders) {
  struct Kind {
    const char* fact;
    const char* placeholder;
    std::array<const char*, 2> places;
  };
  static constexpr std::array<Kind, 2> kKinds = {{
      {kFolderRoaming, "%UserRoaming%", {"\\AppData\\Roaming", "\\Application Data"}},
      {kFolderLocal, "%UserLocal%", {"\\AppData\\Local", "\\Local Settings\\Application Data"}},
  }};
  for (const Kind& kind : kKinds) {
    std::vector<std::string> candidates = folders.All(kind.fact);
    for (const std::string& profile : folders.All(kFolderProfile)) {
      if (profile.empty()) continue;
      for (const char* place : kind.places) candidates.push_back(profile + place);
    }
    for (const std::string& folder : candidates) {
      if (const auto rest = Below(path, folder)) return RulePath{kind.placeholder + *rest, {}};
    }
  }
  return std::nullopt;
}

// Folders the cleaner has no placeholder for, named as every Windows since Vista names them.
RulePath Literal(std::string_view path) { return {std::string(path), {}}; }

}  // namespace

RulePath RulePathFor(std::string_view path, const SnapshotFolders& folders) {
  // Longest first: the System folder lies in the Windows folder, Common Files in Program Files.
  // The cleaner carries out a %winsys% entry in both System folders of 64-bit Windows.
  for (const char* system : {kFolderSystem, kFolderSystemWow64}) {
    if (const auto rest = Below(path, folders.Get(system))) return {"%winsys%" + *rest, {}};
  }
  if (const auto rest = Below(path, folders.Get(kFolderWindows))) return {"%WinDir%" + *rest, {}};
  if (Below(path, folders.Get(kFolderStartMenu))) {
    return {{},
            "lies in the product's Start Menu folder, which the cleaner removes in its shortcut step when deleting "
            "links is on (DEL_LINK=1, \"Delete link from Start Menu\")"};
  }
  if (const auto rest = Below(path, folders.Get(kFolderProgramData))) return {"%ProgData%" + *rest, {}};
  if (auto perUser = PerUserRulePath(path, folders)) return *std::move(perUser);
  for (const auto& profile : folders.All(kFolderProfile)) {
    if (Below(path, profile)) {
      return {{},
              "lies in a user's own folder, which no placeholder names and which differs from machine to machine: "
              "delete it by hand or with the product's uninstaller, or write a rule per machine"};
    }
  }
  // The shared folder as the cleaner found it; a snapshot without it, by the names it looks for.
  if (const auto rest = Below(path, folders.Get(kFolderShared))) return {"%Shared%" + *rest, {}};
  if (const auto rest = Below(path, folders.Get(kFolderCommonFiles)); rest && !rest->empty() &&
                                                                    folders.Get(kFolderShared).empty()) {
    if (NamedAs(FirstName(*rest), {kZdnSharedFiles, kQrvSharedFiles, kVelmoraLab})) {
      return {"%Shared%" + rest->substr(1 + FirstName(*rest).size()), {}};
    }
  }
  if (const auto rest = Below(path, folders.Get(kFolderOtherCommonFiles))) return {"%CF64%" + *rest, {}};
  if (const auto rest = Below(path, folders.Get(kFolderOtherProgramFiles))) return {"%PF64%" + *rest, {}};
  if (const auto rest = Below(path, folders.Get(kFolderProgramFiles))) {
    // %Program% is the folder the cleaner finds by the product's names, so only such a
    // folder is written with it; any other product folder goes by %PF%.
    if (!rest->empty() && NamedAs(FirstName(*rest), {kVelmoraLab, kCorvantix})) {
      return {"%Program%" + rest->substr(1 + FirstName(*rest).size()), {}};
    }
    return {"%PF%" + *rest, {}};
  }
  return Literal(path);
}

namespace {

// "*" stands for one name (a user's SID).
constexpr std::array<std::string_view, 12> kRegistrationLevels = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Features",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Components",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\UpgradeCodes",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\*\\Products",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\*\\Components",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "*\\Software\\Microsoft\\Installer\\Products",
    "*\\Software\\Microsoft\\Installer\\Features",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

// Whether key is level or a key above it, name by name; "*" in level matches any one name
// (a leading "*" any root: HKEY_CURRENT_USER or a user's key below HKEY_USERS).
bool AtOrAbove(std::string_view key, std::string_view level) {
  if (level.starts_with("*\\")) {
    level.remove_prefix(2);
    for (std::size_t at = key.find('\\'); at != std::string_view::npos; at = key.find('\\', at + 1)) {
      if (AtOrAbove(key.substr(at + 1), level)) return true;
    }
    return false;
  }
  for (;;) {
    const auto keyEnd = key.find('\\');
    const auto levelEnd = level.find('\\');
    const std::string_view name = key.substr(0, keyEnd);
    const std::string_view wanted = level.substr(0, levelEnd);
    if (wanted != "*" && !EqualsIgnoringAsciiCase(name, wanted)) return false;
    if (keyEnd == std::string_view::npos) return true;
    if (levelEnd == std::string_view::npos) return false;
    key.remove_prefix(keyEnd + 1);
    level.remove_prefix(levelEnd + 1);
  }
}

}  // namespace

bool HoldsEveryProductsRegistration(std::string_view key) {
  return std::any_of(kRegistrationLevels.begin(), kRegistrationLevels.end(),
                     [key](std::string_view level) { return AtOrAbove(key, level); });
}

std::string RuleKeyFor(std::string_view key) {
  std::string out;
  if (key.size() > kUsersKey.size() && EqualsIgnoringAsciiCase(key.substr(0, kUsersKey.size()), kUsersKey)) {
    const auto sidEnd = key.find('\\', kUsersKey.size());
    out = std::string(kCurrentUser) + std::string(sidEnd == std::string_view::npos ? "" : key.substr(sidEnd));
  } else {
    out = std::string(key);
  }
  // "SOFTWARE\WOW6432Node\X" and "SOFTWARE\Classes\WOW6432Node\X" are "SOFTWARE\X" and
  // "SOFTWARE\Classes\X" to a 32-bit program.
  const std::string upper = UpperAscii(out);
  for (const std::string_view above : {"\\SOFTWARE\\CLASSES\\WOW6432NODE", "\\SOFTWARE\\WOW6432NODE"}) {
    const auto at = upper.find(above);
    if (at == std::string::npos) continue;
    const std::size_t nodeAt = at + above.size() - std::string_view("\\WOW6432NODE").size();
    const std::size_t end = nodeAt + std::string_view("\\WOW6432NODE").size();
    if (end == out.size() || out[end] == '\\') out.erase(nodeAt, end - nodeAt);
    break;
  }
  return out;
}
