#pragma once
// The rule file's physical format: every byte of a stored line except 0 to 30 is scrambled
// as (226 - b) mod 256, and placeholders name folders of the cleaner state.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cleaner_state.h"
#include "platform/files/line_reader.h"

// Bytes 0 to 30 stay; any other byte b becomes (226 - b) mod 256.
unsigned char DescrambleByte(unsigned char stored);
std::string DescrambleLine(std::string_view stored);

// 1-based column of the first byte a rule line cannot hold, 0 when every byte can be
// stored. Bytes 196 to 226 cannot: their stored form would be 0 to 30, which reads back
// unchanged.
std::size_t FirstUnstorableColumn(std::string_view text);
// The stored form of one line of text, its line end excluded. Raises Exception naming the
// column and the byte when the text holds a byte that cannot be stored.
std::string ScrambleLine(std::string_view text);

// The placeholders in the order they are tested, each with the folder it stands for: a folder
// of the state, or (per-user placeholders) a folder of one profile.
// Matched case-sensitively, exactly as written.
struct Placeholder {
  std::string_view name;
  std::string CleanerState::*folder;
  std::string UserDataFolders::*userFolder = nullptr;  // set for a per-user placeholder only
};
// The first five are the language's from the start. Every line of every section is expanded,
// registry lines included, so the later ones bear names that are no environment variable's
// (value names such as MuiCache's hold "%ProgramData%", "%APPDATA%" or "%LOCALAPPDATA%" as
// text) and none holds an earlier one; coming later, an earlier one wins where they overlap,
// so a line that read one way before reads the same.
inline constexpr std::array<Placeholder, 10> kPlaceholders = {{
    {"%Program%", &CleanerState::ProgramFolder},
    {"%Shared%", &CleanerState::SharedFolder},
    {"%WinDir%", &CleanerState::WindowsFolder},
    {"%winsys%", &CleanerState::SystemFolder},
    {"%PF%", &CleanerState::ProgramFilesFolder},
    {"%ProgData%", &CleanerState::ProgramDataFolder},
    {"%PF64%", &CleanerState::ProgramFiles64Folder},
    {"%CF64%", &CleanerState::CommonFiles64Folder},
    {"%UserRoaming%", nullptr, &UserDataFolders::roaming},
    {"%UserLocal%", nullptr, &UserDataFolders::local},
}};

// Replaces the first occurrence of each placeholder of kPlaceholders (case-sensitive) with
// its folder from the state; a per-user placeholder with the folder of the profile at
// userIndex in the state's UserFolders (none there: no folder). Occurrences are found in the
// descrambled line only, so a folder that holds a placeholder's text stays as it is. Where two
// occurrences overlap, the placeholder earlier in the list wins.
// When unset is given, it receives the name of the first placeholder replaced by an empty
// folder (a folder whose source could not be read, or a field left empty), else "".
std::string ExpandPlaceholders(std::string_view line, const CleanerState& state, std::string* unset = nullptr,
                               std::size_t userIndex = 0);

// Whether the line names a per-user placeholder that the expansion replaces (one no earlier
// placeholder overlaps).
bool UsesPerUserPlaceholder(std::string_view line);

// One target of a rule line: the line with its placeholders replaced for one profile.
struct RuleTarget {
  std::string text;
  std::string unset;  // as ExpandPlaceholders' unset
};

// A line's targets: one for a line without per-user placeholders, exactly as
// ExpandPlaceholders reads it; else one for each profile of the state's UserFolders, in
// their order, a target that another profile's already names given once (two profiles may
// share a folder). With no profile at all, one target with the placeholder unset.
std::vector<RuleTarget> ExpandRuleTargets(std::string_view line, const CleanerState& state);

// Reads the next physical line, descrambles it and expands its placeholders with the
// folders the state holds now. Called only while AtEnd is false. With fromWindows1251 the
// descrambled line is recoded to UTF-8 before the folders (already UTF-8 then) go in.
std::string ReadRuleLine(LineSource& file, const CleanerState& state, std::string* unset = nullptr,
                         bool fromWindows1251 = false);
// The number of lines left in the file, skipped without looking at their content.
int CountRuleLines(LineSource& file);
// Reads the next physical line as ReadRuleLine does, and gives its targets (ExpandRuleTargets).
std::vector<RuleTarget> ReadRuleTargets(LineSource& file, const CleanerState& state, bool fromWindows1251 = false);
