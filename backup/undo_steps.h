#pragma once
// The steps every kind of journal entry shares when undo puts it back: what is there now,
// the folders above a restored item, attributes and times, the keys of the journal, and the
// lines that say what was and was not restored.
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "platform/handles.h"
#include "platform/registry/user_hives_win.h"

struct CleanerContext;

class UndoSteps {
 public:
  UndoSteps(CleanerContext& context, const std::wstring& runFolder) : context_(context), runFolder_(runFolder) {}

  CleanerContext& Context() { return context_; }
  // Where the copy of a journaled file lies, in extended form.
  std::wstring CopyPath(const std::wstring& copy) const;
  const std::wstring& RunFolder() const { return runFolder_; }
  int Restored() const { return restored_; }

  // Counts a restored item and traces it.
  void Done(const std::string& what);
  // Lists an item that could not be put back, with the system's reason.
  void Failed(const std::string& what, DWORD code);
  // Lists an item whose place is taken by something else now.
  void SomethingElseThere(const std::string& what);
  // Names an ended program or stopped service once, however often the run ended it.
  void NotRestarted(const std::wstring& what);

  // Lists an entry the checks refuse, with why.
  void Refused(const JournalEntry& entry, const std::string& why);

  // Makes the folders above path that are missing, from the first that exists down. Every
  // folder above path is opened as itself first: a link on the way refuses the whole
  // (ERROR_CANT_ACCESS_FILE), so that nothing is moved or made through one.
  [[nodiscard]] DWORD MakeParents(const std::wstring& path);
  void PutAttributes(const std::wstring& path, DWORD attributes);
  // Writes only the times that differ from what the item has now.
  void PutTimes(const std::wstring& path, const SavedTimes& times);
  // Puts back the security descriptor the journal holds, where it holds one and it differs.
  void PutSecurity(const std::wstring& path, const std::wstring& security);
  // The security of a folder or key the undo made again, put back by PutLaterSecurity once
  // everything is in place, the deepest first: a parent's restrictive access list put back
  // first would keep its children out.
  void PutSecurityLater(const JournalEntry& entry);
  void PutLaterSecurity();
  // Opens the key a journal entry names (in the user's hive for a key of another user, loaded
  // for the undo where the user is not signed in), creating it and the keys above it when
  // asked. Every level is opened as itself: a registry link on the way is refused
  // (ERROR_CANT_ACCESS_FILE), never followed. rights: what the key itself is opened for.
  LONG OpenKey(const JournalEntry& entry, bool create, REGSAM rights, UniqueHKey& key);

 private:
  LONG HiveRoot(const JournalEntry& entry, std::wstring& below);

  CleanerContext& context_;
  std::wstring runFolder_;
  int restored_ = 0;
  std::set<std::wstring> notRestarted_;
  std::set<std::wstring> checkedFolders_;  // no link, from the drive's root down
  std::optional<UserHives> hives_;         // loaded at the first key of another user
  std::vector<JournalEntry> laterSecurity_;
};

bool Exists(const std::wstring& path);
// A path as the lines show it: ordinary form, ANSI.
std::string Shown(const std::wstring& path);
// True when a value read now has the type and bytes the journal holds.
bool SameValue(const SavedValue& now, const SavedValue& saved);

// Why the run's guards would not have let the run make the entry's change (a path not in
// plain form, a protected folder, a shared or protected key), or empty.
std::string GuardProblem(CleanerContext& context, const JournalEntry& entry);
// Why the copy of a file entry is not the one the run made (outside files\, a link on the
// way, and with contents: a link itself, another size or SHA-256), or empty.
std::string CopyProblem(const std::wstring& runFolder, const JournalEntry& entry, bool contents);

// One function per kind of entry: each puts back what its change took away.
void UndoFileEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoFolderEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoKeyOrValueEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoWrittenValueEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoServiceSettingsEntry(UndoSteps& steps, const JournalEntry& entry);
