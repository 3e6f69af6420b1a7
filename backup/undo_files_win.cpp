#include <windows.h>

#include "backup/undo_steps.h"

#include "backup/undo.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/system_error.h"

void UndoFileEntry(UndoSteps& steps, const JournalEntry& entry) {
  CleanerContext& context = steps.Context();
  if (const std::string problem = CopyProblem(steps.RunFolder(), entry, false); !problem.empty()) {
    return steps.Refused(entry, problem);
  }
  const std::wstring copy = steps.CopyPath(entry.copy);
  const bool original = Exists(entry.path);
  const bool kept = Exists(copy);
  if (original) {
    // The move never happened (a run killed between journal and change), undo ran before,
    // or something new took the name.
    if (entry.kind == JournalKind::RestartFile) {
      AddInfo(context, kStillPendingText + Shown(entry.path));
    } else if (kept) {
      steps.SomethingElseThere(Shown(entry.path));
    }
    return;
  }
  if (!kept) {
    AddInfo(context, kNotRestoredMissingCopyText + Shown(entry.path));
    return;
  }
  if (const std::string problem = CopyProblem(steps.RunFolder(), entry, true); !problem.empty()) {
    return steps.Refused(entry, problem);
  }
  DWORD code = steps.MakeParents(entry.path);
  if (code == ERROR_CANT_ACCESS_FILE) return steps.Refused(entry, "a link stands on the way to it");
  if (code == ERROR_SUCCESS) code = context.effects.MoveFileTo(copy, entry.path, true);
  if (code != ERROR_SUCCESS) return steps.Failed(Shown(entry.path), code);
  if (entry.kind != JournalKind::Link) {
    steps.PutTimes(entry.path, entry.times);
    steps.PutAttributes(entry.path, entry.attributes);
    steps.PutSecurity(entry.path, entry.security);
  }
  steps.Done("file " + Shown(entry.path));
}

void UndoFolderEntry(UndoSteps& steps, const JournalEntry& entry) {
  if (Exists(entry.path)) return;
  DWORD code = steps.MakeParents(entry.path);
  if (code == ERROR_CANT_ACCESS_FILE) return steps.Refused(entry, "a link stands on the way to it");
  if (code == ERROR_SUCCESS) code = steps.Context().effects.CreateFolder(entry.path);
  if (code != ERROR_SUCCESS) return steps.Failed(Shown(entry.path), code);
  steps.PutAttributes(entry.path, entry.attributes);
  steps.PutSecurityLater(entry);
  steps.Done("folder " + Shown(entry.path));
}
