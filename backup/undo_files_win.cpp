#include <windows.h>

#include "backup/undo_steps.h"

#include <vector>

#include "backup/undo.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/files/relative_files.h"
#include "platform/system_error.h"

namespace {

constexpr DWORD kMadeFolderAccess = READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER;

}  // namespace

// The copy is opened as itself through the run folder's levels and checked to be the file the
// run moved there (its file ID, one name, its size and SHA-256); every level of its place is
// then opened from the drive's root and held; the copy moves through its handle into the
// held folder, and its times, attributes and security are put back through the same handle.
void UndoFileEntry(UndoSteps& steps, const JournalEntry& entry) {
  CleanerContext& context = steps.Context();
  if (const std::string problem = CopyProblem(steps.RunFolder(), entry); !problem.empty()) {
    return steps.Refused(entry, problem);
  }
  const std::wstring copyPath = steps.CopyPath(entry.copy);
  UniqueFile copy;
  const std::string problem = steps.OpenCopy(entry, copy);
  // A copy that is not the run's is said as such, unless the place is taken anyway.
  if (!problem.empty() && !Exists(entry.path)) return steps.Refused(entry, problem);
  if (Exists(entry.path)) {
    // The move never happened (a run killed between journal and change), undo ran before,
    // or something new took the name.
    if (entry.kind == JournalKind::RestartFile) {
      steps.StillPending(Shown(entry.path));
    } else if (copy || !problem.empty()) {
      steps.SomethingElseThere(Shown(entry.path));
    } else {
      steps.AlreadyInPlace("file " + Shown(entry.path));
    }
    return;
  }
  if (!copy) return steps.CopyMissing(Shown(entry.path));
  std::vector<UniqueFile> held;
  DWORD code = steps.HoldFolderOf(entry.path, held);
  if (code == ERROR_CANT_ACCESS_FILE) return steps.Refused(entry, "a link stands on the way to it");
  if (code == ERROR_SUCCESS) code = context.effects.MoveOpen(copy.Get(), copyPath, held.back().Get(), LastNameOf(entry.path), entry.path);
  if (code == ERROR_NOT_SAME_DEVICE && entry.kind != JournalKind::Link) {
    // The backup lies on another volume: copied by name into the folder, which stays held.
    copy.Reset();
    code = context.effects.MoveFileTo(copyPath, entry.path, true);
    if (code == ERROR_SUCCESS) {
      UniqueFile restored;
      code = OpenChildShared(held.back().Get(), LastNameOf(entry.path), kMadeFolderAccess, FILE_SHARE_READ, false, restored);
      if (code == ERROR_SUCCESS) copy = std::move(restored);
    }
  }
  if (code != ERROR_SUCCESS) return steps.Failed(Shown(entry.path), code);
  if (entry.kind != JournalKind::Link) steps.PutFacts(copy.Get(), entry.path, entry.times, entry.attributes, entry.security);
  steps.Done("file " + Shown(entry.path));
}

// A folder this undo made already, as one above an item restored before it (newer entries
// come first), is its own: it gets its attributes and security and counts as restored.
void UndoFolderEntry(UndoSteps& steps, const JournalEntry& entry) {
  const bool madeAbove = steps.TakeMadeAbove(entry.path);
  if (Exists(entry.path) && !madeAbove) return steps.AlreadyInPlace("folder " + Shown(entry.path));
  std::vector<UniqueFile> held;
  DWORD code = steps.HoldFolderOf(entry.path, held);
  if (code == ERROR_CANT_ACCESS_FILE) return steps.Refused(entry, "a link stands on the way to it");
  // Made by name below levels that are held, then opened relative to them.
  if (code == ERROR_SUCCESS && !madeAbove) code = steps.Context().effects.CreateFolder(entry.path);
  UniqueFile made;
  if (code == ERROR_SUCCESS) code = HoldChildFolder(held.back().Get(), LastNameOf(entry.path), kMadeFolderAccess, false, made);
  if (code != ERROR_SUCCESS) return steps.Failed(Shown(entry.path), code);
  steps.PutFacts(made.Get(), entry.path, SavedTimes{}, entry.attributes, std::wstring());
  // A parent's restrictive access list put back before its children would keep them out.
  steps.PutSecurityLater(entry);
  steps.Done("folder " + Shown(entry.path));
}
