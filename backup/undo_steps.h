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

  // Lists a file whose copy is not in the backup.
  void CopyMissing(const std::string& what);
  // Lists a file the system still deletes at the next restart under its own name.
  void StillPending(const std::string& what);
  int NotRestored() const { return notRestored_; }
  // Counts an item found as it was before the run, and traces it.
  void AlreadyInPlace(const std::string& what);
  int InPlace() const { return inPlace_; }

  // Holds every folder above path, from the drive's root down, each opened relative to the
  // one above as itself and without delete sharing, making those missing; held.back() is the
  // folder of path. A link on the way answers ERROR_CANT_ACCESS_FILE: nothing is moved or made
  // through one. Checked again for every item.
  [[nodiscard]] DWORD HoldFolderOf(const std::wstring& path, std::vector<UniqueFile>& held);
  // True (once) when this undo made the folder as one above an item: its own, older entry then
  // puts back its attributes and security and counts it.
  bool TakeMadeAbove(const std::wstring& folder);
  // Opens the copy of a file entry as itself through the run folder's levels (none a link)
  // with what undo needs to move it and put its facts back, sharing only reading, and checks
  // it is the file the run put there: answers why not, or empty (copy empty then when there
  // is no copy).
  std::string OpenCopy(const JournalEntry& entry, UniqueFile& copy);
  // Puts back times (zero: left), attributes and security (where it differs) through the
  // item's handle; a failure is listed.
  void PutFacts(HANDLE item, const std::wstring& path, const SavedTimes& times, DWORD attributes,
                const std::wstring& security);
  void PutAttributes(const std::wstring& path, DWORD attributes);
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
  int notRestored_ = 0;
  int inPlace_ = 0;
  std::set<std::wstring> notRestarted_;
  std::set<std::wstring> madeAbove_;  // upper-cased, extended form
  std::optional<UserHives> hives_;         // loaded at the first key of another user
  std::vector<JournalEntry> laterSecurity_;
};

bool Exists(const std::wstring& path);
// The last name of a path: what lies in the folder above it.
std::wstring LastNameOf(const std::wstring& path);
// A path as the lines show it: ordinary form, ANSI.
std::string Shown(const std::wstring& path);
// True when a value read now has the type and bytes the journal holds.
bool SameValue(const SavedValue& now, const SavedValue& saved);

// Why the run's guards would not have let the run make the entry's change (a path not in
// plain form, a protected folder, a shared or protected key), or empty.
std::string GuardProblem(CleanerContext& context, const JournalEntry& entry);
// Why the copy of a file entry cannot be the one the run made, by its name (outside files\, a
// link on the way), or empty; UndoSteps::OpenCopy then checks the copy itself.
std::string CopyProblem(const std::wstring& runFolder, const JournalEntry& entry);

// One function per kind of entry: each puts back what its change took away.
void UndoFileEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoFolderEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoKeyOrValueEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoWrittenValueEntry(UndoSteps& steps, const JournalEntry& entry);
void UndoServiceSettingsEntry(UndoSteps& steps, const JournalEntry& entry);
