#include <windows.h>

#include "engine/run/rule_pass.h"

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "engine/rules/rule_text_code.h"
#include "engine/run/deletion.h"
#include "engine/run/registry_actions.h"
#include "engine/run/profile_folders.h"
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
  bool recode = false;  // rule lines from Windows-1251 to the UTF-8 ANSI code page
};

// One line read and counted, as the targets it stands for: one, or one per profile.
std::vector<RuleTarget> ReadCountedTargets(PassState& pass, LineFile& file) {
  std::vector<RuleTarget> targets = ReadRuleTargets(file, pass.placeholders, pass.recode);
  ProgressStep(pass.context);
  return targets;
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

// One target of an entry: refused when it cannot name what it seems to, else acted on.
void ActOnTarget(PassState& pass, const RuleSection& section, Action action, const RuleTarget& target) {
  CleanerContext& context = pass.context;
  const std::string& line = target.text;
  if (section.needsDeletePermission && !pass.deleting) {
    NoteSkippedDeletion(context, line, target.unset.empty());
  } else if (line.find('\0') != std::string::npos) {
    AddInfo(context, kRefusedNulEntry + IntToText(context.state.Progress));
  } else if (IsLongerThanAnyPath(line)) {
    AddInfo(context, kRefusedLongEntry + IntToText(context.state.Progress));
  } else if (IsFileSection(section.kind) && HoldsLongerNameThanAnyFile(line)) {
    AddInfo(context, kRefusedLongNameEntry + IntToText(context.state.Progress));
  } else if (!target.unset.empty()) {
    AddInfo(context, kRefusedUnsetPlaceholder + target.unset + kStandsForNoFolder + IntToText(context.state.Progress));
  } else {
    action(context, line);
  }
}

// Every line up to the section's own end marker is an entry, whatever it looks like; an entry
// naming a per-user folder acts once in each profile the run covers.
void RunSection(PassState& pass, LineFile& file, const RuleSection& section) {
  CleanerContext& context = pass.context;
  const Action action = ActionOf(section.kind);
  while (!file.AtEnd()) {
    const std::vector<RuleTarget> targets = ReadCountedTargets(pass, file);
    if (targets.front().text == section.endMarker) return;
    for (const RuleTarget& target : targets) ActOnTarget(pass, section, action, target);
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
  AddOtherUsersDataFolders(context, pass.placeholders.UserFolders);
  pass.recode = RuleTextNeedsRecoding(GetACP());
  if (pass.recode) TraceIfOn(context, kRuleTextRecodedTrace);
  bool sectionFound = false;
  context.state.Progress = 0;
  LineFile file;  // closed by its destructor when an error ends the pass
  file.OpenForReading(context.state.RuleFilePath);
  TraceIfOn(context, context.state.RuleFilePath + " opened");
  while (!file.AtEnd()) {
    const std::vector<RuleTarget> targets = ReadCountedTargets(pass, file);
    if (const RuleSection* section = RuleSectionOpenedBy(targets.front().text)) {
      sectionFound = true;
      RunSection(pass, file, *section);
    }
  }
  file.CloseAndFlush();
  if (!sectionFound) AddInfo(context, kNoSectionFound);
}
