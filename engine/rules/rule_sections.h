#pragma once
// The five section kinds of the rule file, in the order a line is compared with their
// headers: header, end marker, whether the entries need the deletion permission, and the
// word each entry's trace line begins with. Headers and end markers match only exactly.
#include <array>
#include <string_view>

enum class RuleSectionKind { RegistryDelete, RegistryDeleteVal, RegistryMoveVal, DeleteFolder, DeleteFile };

struct RuleSection {
  RuleSectionKind kind;
  std::string_view header;
  std::string_view endMarker;
  bool needsDeletePermission;
  std::string_view traceWord;
};

inline constexpr std::array<RuleSection, 5> kRuleSections = {{
    {RuleSectionKind::RegistryDelete, "[Registry_Delete]", "[Registry_Delete_End]", false, "DeleteRegKey "},
    {RuleSectionKind::RegistryDeleteVal, "[Registry_Delete_Val]", "[Registry_Delete_Val_End]", false,
     "DeleteRegVal "},
    {RuleSectionKind::RegistryMoveVal, "[Registry_Move_Val]", "[Registry_Move_Val_End]", false, "RenameRegVal "},
    {RuleSectionKind::DeleteFolder, "[Delete_Folder]", "[Delete_Folder_End]", true, "DelDir "},
    {RuleSectionKind::DeleteFile, "[Delete_File]", "[Delete_File_End]", true, "DelFile "},
}};

// The section a rule line opens; nullptr for every other line.
constexpr const RuleSection* RuleSectionOpenedBy(std::string_view line) {
  for (const RuleSection& section : kRuleSections) {
    if (line == section.header) return &section;
  }
  return nullptr;
}
