#include <windows.h>

#include "engine/run/rule_pass.h"

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "engine/rules/rule_text_code.h"
#include "engine/run/deletion.h"
#include "engine/run/registry_actions.h"
#include "engine/trace.h"
#include "platform/files/files.h"
#include "platform/files/line_file.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

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

// The run's view of the state: placeholders expand with the folders the run was given.
struct PassState {
  CleanerContext& context;
  CleanerState placeholders;
  bool deleting;
  std::string unsetPlaceholder{};  // of the line read last
  bool recode = false;             // rule lines from Windows-1251 to the UTF-8 ANSI code page
};

std::string ReadCountedLine(PassState& pass, LineFile& file) {
  CleanerContext& context = pass.context;
  std::string line = ReadRuleLine(file, pass.placeholders, &pass.unsetPlaceholder, pass.recode);
  ProgressStep(context);
  return line;
}

// A target that exists and that the run was not permitted to delete stays behind: it is
// listed and counts as left, so that a run without the permission never reads as complete.
void NoteSkippedDeletion(CleanerContext& context, const std::string& line, bool placeholdersSet) {
  // No longer name than the system's longest path can name anything that exists.
  if (!placeholdersSet || line.empty() || line.size() > kLongestPathUnits || line.find('\0') != std::string::npos) return;
  const std::wstring path = WideFromAnsi(line);
  if (IsExistingFolderWide(path) || IsExistingFileWide(path)) AddInfo(context, kSkippedNotPermitted + line);
}

// Longer in UTF-16 than any path can be: only a line longer in bytes can be.
bool IsLongerThanAnyPath(const std::string& line) {
  return line.size() > kLongestPathUnits && WideFromAnsi(line).size() > kLongestPathUnits;
}

bool HoldsLongerNameThanAnyFile(const std::string& line) {
  const std::wstring wide = WideFromAnsi(line);
  std::size_t length = 0;
  for (const wchar_t unit : wide) {
    length = unit == L'\\' || unit == L'/' ? 0 : length + 1;
    if (length > kLongestNameUnits) return true;
  }
  return false;
}

bool IsFileSection(RuleSectionKind kind) {
  return kind == RuleSectionKind::DeleteFolder || kind == RuleSectionKind::DeleteFile;
}

// Every line up to the section's own end marker is an entry, whatever it looks like.
void RunSection(PassState& pass, LineFile& file, const RuleSection& section) {
  CleanerContext& context = pass.context;
  const Action action = ActionOf(section.kind);
  while (!file.AtEnd()) {
    const std::string line = ReadCountedLine(pass, file);
    if (line == section.endMarker) return;
    if (section.needsDeletePermission && !pass.deleting) {
      NoteSkippedDeletion(context, line, pass.unsetPlaceholder.empty());
    } else {
      if (line.find('\0') != std::string::npos) {
        AddInfo(context, kRefusedNulEntry + IntToText(context.state.Progress));
      } else if (IsLongerThanAnyPath(line)) {
        AddInfo(context, kRefusedLongEntry + IntToText(context.state.Progress));
      } else if (IsFileSection(section.kind) && HoldsLongerNameThanAnyFile(line)) {
        AddInfo(context, kRefusedLongNameEntry + IntToText(context.state.Progress));
      } else if (!pass.unsetPlaceholder.empty()) {
        AddInfo(context, kRefusedUnsetPlaceholder + pass.unsetPlaceholder + kStandsForNoFolder +
                             IntToText(context.state.Progress));
      } else {
        action(context, line);
      }
    }
    TraceIfOn(context, std::string(section.traceWord) + IntToText(context.state.Progress));
    // Each entry's lines reach the file before the next entry: a run ended by force leaves
    // a log of whole lines that says how far it came.
    context.trace.Flush();
  }
}

}  // namespace

void ProgressStep(CleanerContext& context) {
  ++context.state.Progress;
  context.view.SetGaugeProgress(context.state.Progress);
}

void RunRulePass(CleanerContext& context, const RunOptions& options) {
  PassState pass{context, context.state, options.deleteFilesAndFolders};
  pass.placeholders.ProgramFolder = options.programFolder;
  pass.placeholders.SharedFolder = options.sharedFolder;
  pass.recode = RuleTextNeedsRecoding(GetACP());
  if (pass.recode) TraceIfOn(context, kRuleTextRecodedTrace);
  bool sectionFound = false;
  context.state.Progress = 0;
  LineFile file;  // closed by its destructor when an error ends the pass
  file.OpenForReading(context.state.RuleFilePath);
  TraceIfOn(context, context.state.RuleFilePath + " opened");
  while (!file.AtEnd()) {
    const std::string line = ReadCountedLine(pass, file);
    if (const RuleSection* section = RuleSectionOpenedBy(line)) {
      sectionFound = true;
      RunSection(pass, file, *section);
    }
  }
  file.CloseAndFlush();
  if (!sectionFound) AddInfo(context, kNoSectionFound);
}
