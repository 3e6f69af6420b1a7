#include "startup/settings_parser.h"

#include <string>
#include <string_view>

#include "platform/text_rules.h"

namespace {

enum class Section { Mode, Folder, Options };

struct SectionLines {
  Section section;
  std::string_view header;
  std::string_view endLine;
};

constexpr SectionLines kSections[] = {
    {Section::Mode, "[Mode]", "[End_Mode]"},
    {Section::Folder, "[Folder]", "[End_Folder]"},
    {Section::Options, "[Options]", "[End_Options]"},
};

void ApplyEntry(Section section, const std::string& key, const std::string& value, CleanerState& state) {
  switch (section) {
    case Section::Mode:
      if (key == "SILENT") state.RunMode = ParseInteger(value);
      break;
    case Section::Folder:
      if (key == "PROGRAM") state.FolderProgram = value;
      if (key == "SHARED") state.FolderShared = value;
      if (key == "START") state.FolderStart = value;
      if (key == "BACKUP") state.FolderBackup = value;
      break;
    case Section::Options:
      if (key == "DELETE") state.OptDelete = value == "1";
      if (key == "DEL_LINK") state.OptDelLink = value == "1";
      if (key == "KILLPROCESS") state.OptKillProcess = value == "1";
      if (key == "ALL_USERS") state.OptAllUsers = value == "1";
      // Adds to the switch /R: another value does not take back what the command line asked.
      if (key == "DELETE_AT_RESTART" && value == "1") state.DeleteAtRestart = true;
      break;
  }
}

// Reads entries up to the section's end line, or to the end of the file when it has none.
void ReadSection(LineSource& file, const SectionLines& lines, CleanerState& state) {
  while (!file.AtEnd()) {
    const std::string line = file.ReadLine();
    if (line == lines.endLine) return;
    const int equals = PositionOf("=", line);
    if (equals == 0) continue;
    const auto keyLength = static_cast<std::size_t>(equals - 1);
    const std::string key = UpperAscii(std::string_view(line).substr(0, keyLength));
    const std::string value = line.substr(keyLength + 1);
    if (!value.empty()) ApplyEntry(lines.section, key, value, state);
  }
}

}  // namespace

void ReadSettings(LineSource& file, CleanerState& state) {
  while (!file.AtEnd()) {
    const std::string line = file.ReadLine();
    for (const SectionLines& lines : kSections) {
      if (line == lines.header) {
        ReadSection(file, lines, state);
        break;
      }
    }
  }
}
