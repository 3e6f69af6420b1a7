#include <windows.h>

#include "backup/undo.h"

#include <set>
#include <vector>

#include "backup/backup_journal.h"
#include "backup/backup_store.h"
#include "backup/undo_steps.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/files_paths.h"
#include "platform/handles.h"
#include "platform/registry_accessor.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace {

std::string ReadJournalText(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) throw Exception(kUndoNoJournalText + Shown(path) + " - " + SystemErrorText(GetLastError()));
  std::string text;
  std::vector<char> chunk(1 << 16);
  DWORD read = 0;
  while (ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0) {
    text.append(chunk.data(), read);
  }
  return text;
}

void UndoEntry(UndoSteps& steps, const JournalEntry& entry) {
  switch (entry.kind) {
    case JournalKind::Attributes: steps.PutAttributes(entry.path, entry.attributes); break;
    case JournalKind::File:
    case JournalKind::Link:
    case JournalKind::RestartFile: UndoFileEntry(steps, entry); break;
    case JournalKind::Folder: UndoFolderEntry(steps, entry); break;
    case JournalKind::Key:
    case JournalKind::Value: UndoKeyOrValueEntry(steps, entry); break;
    case JournalKind::WrittenValue: UndoWrittenValueEntry(steps, entry); break;
    case JournalKind::Process:
    case JournalKind::Service: steps.NotRestarted(entry.path); break;
    case JournalKind::NotDone: break;
  }
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
}

}  // namespace

void RunUndo(CleanerContext& context, const std::string& runFolder) {
  const std::wstring folder = ExtendedPath(WithoutTrailingBackslashes(FullPathWide(WideFromAnsi(runFolder))));
  TraceIfOn(context, kUndoStartText + runFolder);
  const Journal journal = ParseJournal(ReadJournalText(folder + L"\\" + WideFromAnsi(kJournalFileName)));
  // Only the last line may be cut short, by a run killed while writing it; anything else
  // means the journal is not what this program wrote, and nothing is touched.
  const std::size_t allowed = journal.lastLineCut ? 1 : 0;
  if (journal.problems.size() > allowed) throw Exception(kUndoBadJournalText + journal.problems.front());
  UndoSteps steps(context, OrdinaryPath(folder));
  UndoJournal(steps, journal);
  const int notRestored = context.outcome.notRemoved;
  const std::string summary = std::string(kUndoCompleteText) + ": " + std::to_string(steps.Restored()) +
                              " restored, " + std::to_string(notRestored) + " not restored";
  TraceIfOn(context, summary);
  if (!context.state.QuietMode) context.reporter.SimpleMessage(summary);
}
