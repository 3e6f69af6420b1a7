#include <windows.h>

#include "engine/rule_pass.h"

#include "engine/deletion.h"
#include "engine/registry_actions.h"
#include "engine/rule_file.h"
#include "engine/rule_sections.h"
#include "platform/line_file.h"
#include "platform/text_rules.h"

namespace {

using Action = void (*)(CleanerContext&, const std::string&);

// The action of each section kind of the rule file's section table.
Action ActionOf(RuleSectionKind kind) {
  switch (kind) {
    case RuleSectionKind::RegistryDelete: return DeleteRegistryKeyEntry;
    case RuleSectionKind::RegistryDeleteVal: return DeleteRegistryValueEntry;
    case RuleSectionKind::RegistryMoveVal: return RenameRegistryValueEntry;
    case RuleSectionKind::DeleteFolder: return DeleteFolderTree;
    case RuleSectionKind::DeleteFile: return DeleteSingleFile;
  }
  return nullptr;
}

std::string ReadCountedLine(CleanerContext& context, LineFile& file) {
  std::string line = ReadRuleLine(file, context.state);
  ProgressStep(context);
  return line;
}

// Every line up to the section's own end marker is an entry, whatever it looks like.
void RunSection(CleanerContext& context, LineFile& file, const RuleSection& section) {
  const Action action = ActionOf(section.kind);
  while (!file.AtEnd()) {
    const std::string line = ReadCountedLine(context, file);
    if (line == section.endMarker) return;
    if (!section.needsDeletePermission || context.state.DeletePermission) {
      if (line.find('\0') != std::string::npos) {
        AddInfo(context, kRefusedNulEntry + IntToText(context.state.Progress));
      } else {
        action(context, line);
      }
    }
    TraceIfOn(context, std::string(section.traceWord) + IntToText(context.state.Progress));
  }
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
    if (const RuleSection* section = RuleSectionOpenedBy(line)) RunSection(context, file, *section);
  }
  file.CloseAndFlush();
}
