#include <windows.h>

#include "engine/rule_pass.h"

#include <array>

#include "engine/deletion.h"
#include "engine/registry_actions.h"
#include "engine/rule_file.h"
#include "platform/line_file.h"
#include "platform/text_rules.h"

namespace {

using Action = void (*)(CleanerContext&, const std::string&);

struct SectionKind {
  const char* header;
  const char* endMarker;
  Action action;
  bool needsDeletePermission;
  const char* traceWord;
};

// Compared in this order, exactly, case included.
const std::array<SectionKind, 5> kSections = {{
    {"[Registry_Delete]", "[Registry_Delete_End]", DeleteRegistryKeyEntry, false, "DeleteRegKey "},
    {"[Registry_Delete_Val]", "[Registry_Delete_Val_End]", DeleteRegistryValueEntry, false, "DeleteRegVal "},
    {"[Registry_Move_Val]", "[Registry_Move_Val_End]", RenameRegistryValueEntry, false, "RenameRegVal "},
    {"[Delete_Folder]", "[Delete_Folder_End]", DeleteFolderTree, true, "DelDir "},
    {"[Delete_File]", "[Delete_File_End]", DeleteSingleFile, true, "DelFile "},
}};

std::string ReadCountedLine(CleanerContext& context, LineFile& file) {
  std::string line = ReadRuleLine(file, context.state);
  ProgressStep(context);
  return line;
}

// Every line up to the section's own end marker is an entry, whatever it looks like.
void RunSection(CleanerContext& context, LineFile& file, const SectionKind& section) {
  while (!file.AtEnd()) {
    const std::string line = ReadCountedLine(context, file);
    if (line == section.endMarker) return;
    if (!section.needsDeletePermission || context.state.DeletePermission) section.action(context, line);
    TraceIfOn(context, section.traceWord + IntToText(context.state.Progress));
  }
}

const SectionKind* SectionOpenedBy(const std::string& line) {
  for (const auto& section : kSections) {
    if (line == section.header) return &section;
  }
  return nullptr;
}

}  // namespace

void ProgressStep(CleanerContext& context) {
  ++context.state.Progress;
  context.controls.SetGaugeProgress(context.state.Progress);
}

void RunRulePass(CleanerContext& context) {
  context.state.Progress = 0;
  LineFile file;  // closed by its destructor when an error ends the pass
  file.OpenForReading(context.state.RuleFilePath);
  TraceIfOn(context, context.state.RuleFilePath + " opened");
  while (!file.AtEnd()) {
    const std::string line = ReadCountedLine(context, file);
    if (const SectionKind* section = SectionOpenedBy(line)) RunSection(context, file, *section);
  }
  file.CloseAndFlush();
}
