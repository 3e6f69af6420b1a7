#include <windows.h>

#include "backup/undo.h"

#include <set>
#include <vector>

#include "backup/backup_folders.h"
#include "backup/backup_journal.h"
#include "backup/backup_reads.h"
#include "backup/backup_store.h"
#include "backup/newer_installation.h"
#include "backup/undo_steps.h"
#include "engine/cleaner_context.h"
#include "engine/run_observer.h"
#include "platform/effects.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/registry/registry_accessor.h"
#include "platform/security/privileges.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

// The journal itself, opened as itself: a link, or a journal someone other than the
// administrators may write, is not read.
std::string ReadJournalText(FolderSecurity& security, const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
  if (!file) throw Exception(kUndoNoJournalText + Shown(path) + " - " + SystemErrorText(GetLastError()));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw Exception(kUndoUntrustedText + Shown(path) + " - the journal is a link");
  }
  if (const std::string problem =
          UntrustedFolderReason(security.SecurityOf(path), security.Self(), !security.KeepsOwners(), true);
      !problem.empty()) {
    throw Exception(kUndoUntrustedText + Shown(path) + " - " + problem);
  }
  std::string text;
  std::vector<char> chunk(1 << 16);
  DWORD read = 0;
  while (ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
    text.append(chunk.data(), read);
  }
  return text;
}

void UndoEntry(UndoSteps& steps, const JournalEntry& entry) {
  if (const std::string problem = GuardProblem(steps.Context(), entry); !problem.empty()) {
    return steps.Refused(entry, problem);
  }
  switch (entry.kind) {
    case JournalKind::Attributes: steps.PutAttributes(entry.path, entry.attributes); break;
    case JournalKind::File:
    case JournalKind::Link:
    case JournalKind::RestartFile: UndoFileEntry(steps, entry); break;
    case JournalKind::Folder: UndoFolderEntry(steps, entry); break;
    case JournalKind::Key:
    case JournalKind::Value: UndoKeyOrValueEntry(steps, entry); break;
    case JournalKind::WrittenValue: UndoWrittenValueEntry(steps, entry); break;
    case JournalKind::ServiceSettings: UndoServiceSettingsEntry(steps, entry); break;
    // After everything else, so that the descriptor of a key the run took over and then
    // deleted goes onto the key undo makes again.
    case JournalKind::KeySecurity: steps.PutSecurityLater(entry); break;
    case JournalKind::Process:
    case JournalKind::Service: steps.NotRestarted(entry.path); break;
    case JournalKind::NotDone: break;
  }
}

// Why the run's places hold a newer installation of the product now (each Uninstall entry the
// journal names, opened where undo would put it back), or empty.
std::string NewerInstallationNow(UndoSteps& steps, const Journal& journal) {
  for (const JournaledInstallation& installation : InstallationsOf(journal)) {
    UniqueHKey key;
    InstallationNow now;
    now.present = steps.OpenKey(*installation.entry, false, KEY_QUERY_VALUE, key) == ERROR_SUCCESS;
    if (now.present) {
      std::vector<SavedValue> values(1);
      if (ReadSavedValue(key.Get(), L"DisplayVersion", values.front()) == ERROR_SUCCESS) {
        values.front().name = L"DisplayVersion";
        now.version = DisplayVersionOf(values);
      }
    }
    if (std::string reason = NewerInstallationReason(installation, now); !reason.empty()) return reason;
  }
  return {};
}

// Newest change first; a change the journal notes as not done is passed over.
void UndoJournal(UndoSteps& steps, const Journal& journal) {
  std::set<std::uint64_t> notDone;
  for (const JournalEntry& entry : journal.entries) {
    if (entry.kind == JournalKind::NotDone) notDone.insert(entry.notDone);
  }
  for (auto entry = journal.entries.rbegin(); entry != journal.entries.rend(); ++entry) {
    if (entry->kind != JournalKind::NotDone && !notDone.contains(entry->number)) UndoEntry(steps, *entry);
  }
  steps.PutLaterSecurity();
}

}  // namespace

void RunUndo(CleanerContext& context, const std::string& runFolder) {
  RunUndo(context, runFolder, SystemFolderSecurity());
}

void RunUndo(CleanerContext& context, const std::string& runFolder, FolderSecurity& security) {
  const std::wstring folder = ExtendedPath(WithoutTrailingBackslashes(FullPathWide(WideFromAnsi(runFolder))));
  TraceIfOn(context, kUndoStartText + runFolder);
  // The run's folder and every folder above it as a backup folder would be checked: a
  // journal that someone else could have written or replaced is not followed at all.
  std::size_t missing = 0;
  if (const std::string problem = ExistingLevelsProblem(security, folder, missing); !problem.empty()) {
    throw Exception(kUndoUntrustedText + runFolder + " - " + problem);
  }
  const Journal journal =
      ParseJournal(ReadJournalText(security, folder + L"\\" + WideFromAnsi(kJournalFileName)));
  // Only the last line may be cut short, by a run killed while writing it; anything else
  // means the journal is not what this program wrote, and nothing is touched.
  const std::size_t allowed = journal.lastLineCut ? 1 : 0;
  if (journal.problems.size() > allowed) throw Exception(kUndoBadJournalText + journal.problems.front());
  // Owners of restored files and keys other than the administrators need the restore privilege.
  (void)EnablePrivilege(kRestorePrivilege);
  UndoSteps steps(context, OrdinaryPath(folder));
  // A product installed again since (or updated) owns the run's places now: nothing of the old
  // one is put between its files and keys unless the switch says so.
  if (!context.state.UndoOverNewer) {
    if (const std::string reason = NewerInstallationNow(steps, journal); !reason.empty()) {
      throw Exception(kUndoNewerInstallationText + AnsiFromUtf8(reason) + " (" + kOverNewerSwitch +
                      " puts the backup back over it)");
    }
  }
  if (context.observer != nullptr) context.observer->UndoStarting();
  UndoJournal(steps, journal);
  // The same records give the trace's lines, this summary, the report's counts and the exit
  // code: each item restored is counted where it is traced, each one not restored where its
  // line is listed.
  const std::string summary = std::string(kUndoCompleteText) + ": " + std::to_string(steps.Restored()) +
                              " restored, " + std::to_string(steps.NotRestored()) + " not restored" +
                              (steps.InPlace() > 0 ? ", " + std::to_string(steps.InPlace()) + " already in place" : "");
  TraceIfOn(context, summary);
  if (!context.state.QuietMode) context.reporter.SimpleMessage(summary);
}
