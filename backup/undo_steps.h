#pragma once
// The steps every kind of journal entry shares when undo puts it back: what is there now,
// the folders above a restored item, attributes and times, the keys of the journal, and the
// lines that say what was and was not restored.
#include <windows.h>

#include <set>
#include <string>

#include "backup/backup_journal.h"
#include "platform/handles.h"

struct CleanerContext;

class UndoSteps {
 public:
  UndoSteps(CleanerContext& context, const std::wstring& runFolder) : context_(context), runFolder_(runFolder) {}

  CleanerContext& Context() { return context_; }
  // Where the copy of a journaled file lies, in extended form.
  std::wstring CopyPath(const std::wstring& copy) const;
  int Restored() const { return restored_; }

  // Counts a restored item and traces it.
  void Done(const std::string& what);
  // Lists an item that could not be put back, with the system's reason.
  void Failed(const std::string& what, DWORD code);
  // Lists an item whose place is taken by something else now.
  void SomethingElseThere(const std::string& what);
  // Names an ended program or stopped service once, however often the run ended it.
  void NotRestarted(const std::wstring& what);

  // Makes the folders above path that are missing, from the first that exists down.
  [[nodiscard]] DWORD MakeParents(const std::wstring& path);
  void PutAttributes(const std::wstring& path, DWORD attributes);
  // Writes only the times that differ from what the item has now.
  void PutTimes(const std::wstring& path, const SavedTimes& times);
  // Opens the key a journal entry names, creating it (and the keys above it) when asked.
  LONG OpenKey(const std::wstring& name, bool create, UniqueHKey& key);

 private:
  CleanerContext& context_;
  std::wstring runFolder_;
  int restored_ = 0;
  std::set<std::wstring> notRestarted_;
};

bool Exists(const std::wstring& path);
// A path as the lines show it: ordinary form, ANSI.
std::string Shown(const std::wstring& path);
// True when a value read now has the type and bytes the journal holds.
bool SameValue(const SavedValue& now, const SavedValue& saved);

// One function per kind of entry: each puts back what its change took away.
void UndoFileEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoFolderEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoKeyOrValueEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoWrittenValueEntry(UndoSteps& steps, const JournalEntry& entry);
