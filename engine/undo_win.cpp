#include <windows.h>

#include "engine/undo.h"

#include <set>
#include <vector>

#include "engine/backup_journal.h"
#include "engine/backup_key_names.h"
#include "engine/backup_reads.h"
#include "engine/backup_store.h"
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

// The attributes a program can set; the others (directory, reparse point, ...) the file system keeps.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Keys are named through Wow6432Node where they lie in the 32-bit view: the 64-bit view takes
// such a name as it is written.
constexpr REGSAM kKeyRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Shown(const std::wstring& path) { return AnsiFromWide(OrdinaryPath(path)); }

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

class Undo {
 public:
  Undo(CleanerContext& context, const std::wstring& runFolder) : context_(context), runFolder_(runFolder) {}

  void Run(const Journal& journal) {
    std::set<std::uint64_t> notDone;
    for (const JournalEntry& entry : journal.entries) {
      if (entry.kind == JournalKind::NotDone) notDone.insert(entry.notDone);
    }
    for (auto entry = journal.entries.rbegin(); entry != journal.entries.rend(); ++entry) {
      if (entry->kind != JournalKind::NotDone && !notDone.contains(entry->number)) Put(*entry);
    }
  }
  int Restored() const { return restored_; }

 private:
  void Put(const JournalEntry& entry) {
    switch (entry.kind) {
      case JournalKind::Attributes: PutAttributes(entry.path, entry.attributes); break;
      case JournalKind::File:
      case JournalKind::Link:
      case JournalKind::RestartFile: PutFile(entry); break;
      case JournalKind::Folder: PutFolder(entry); break;
      case JournalKind::Key:
      case JournalKind::Value: PutValues(entry); break;
      case JournalKind::WrittenValue: TakeWrittenValue(entry); break;
      case JournalKind::Process:
      case JournalKind::Service:
        if (notRestarted_.insert(entry.path).second) TraceIfOn(context_, kNotRestartedText + AnsiFromWide(entry.path));
        break;
      case JournalKind::NotDone: break;
    }
  }

  void Done(const std::string& what) {
    ++restored_;
    TraceIfOn(context_, kRestoredText + what);
  }
  void Failed(const std::string& what, DWORD code) {
    AddInfo(context_, kNotRestoredText + what + " - " + SystemErrorText(code));
  }

  void PutAttributes(const std::wstring& path, DWORD attributes) {
    const DWORD now = GetFileAttributesW(path.c_str());
    if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) == (attributes & kSettableAttributes)) return;
    const DWORD wanted = (attributes & kSettableAttributes) != 0 ? attributes & kSettableAttributes : FILE_ATTRIBUTE_NORMAL;
    if (const DWORD code = context_.effects.SetAttributes(path, wanted); code != ERROR_SUCCESS) {
      Failed("attributes of " + Shown(path), code);
    }
  }

  // A move keeps a file's times; a copy from another volume does not. Only a time that
  // differs is written.
  void PutTimes(const std::wstring& path, const SavedTimes& times) {
    const FileFacts now = FactsOf(path);
    if (now.attributes == INVALID_FILE_ATTRIBUTES || now.times == times) return;
    const auto wanted = [](std::uint64_t current, std::uint64_t saved) {
      return current == saved ? FILETIME{} : FileTimeOf(saved);
    };
    const FILETIME creation = wanted(now.times.creation, times.creation);
    const FILETIME access = wanted(now.times.lastAccess, times.lastAccess);
    const FILETIME write = wanted(now.times.lastWrite, times.lastWrite);
    if (const DWORD code = context_.effects.SetFileTimes(path, creation, access, write); code != ERROR_SUCCESS) {
      Failed("times of " + Shown(path), code);
    }
  }

  // The folders above a restored item, where a killed run left no entry to make them: up to
  // the first that exists, then down making each (a loop, whatever the depth).
  DWORD MakeParents(const std::wstring& path) {
    std::vector<std::wstring> missing;
    // Where the drive's root ends: "\\?\C:" or "C:".
    const std::size_t root = path.rfind(LR"(\\?\)", 0) == 0 ? 6 : 2;
    for (std::size_t cut = path.find_last_of(L'\\'); cut != std::wstring::npos && cut > root;
         cut = path.find_last_of(L'\\', cut - 1)) {
      std::wstring parent = path.substr(0, cut);
      if (Exists(parent)) break;
      missing.push_back(std::move(parent));
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
      if (const DWORD code = context_.effects.CreateFolder(*folder); code != ERROR_SUCCESS) return code;
    }
    return ERROR_SUCCESS;
  }

  void PutFile(const JournalEntry& entry) {
    const std::wstring copy = ExtendedPath(runFolder_ + L"\\" + entry.copy);
    const bool original = Exists(entry.path);
    const bool kept = Exists(copy);
    if (original) {
      // The move never happened (a run killed between journal and change), undo ran before,
      // or something new took the name.
      if (entry.kind == JournalKind::RestartFile) {
        AddInfo(context_, kStillPendingText + Shown(entry.path));
      } else if (kept) {
        AddInfo(context_, kNotRestoredExistsText + Shown(entry.path));
      }
      return;
    }
    if (!kept) {
      AddInfo(context_, kNotRestoredMissingCopyText + Shown(entry.path));
      return;
    }
    DWORD code = MakeParents(entry.path);
    if (code == ERROR_SUCCESS) code = context_.effects.MoveFileTo(copy, entry.path, true);
    if (code != ERROR_SUCCESS) return Failed(Shown(entry.path), code);
    if (entry.kind != JournalKind::Link) {
      PutTimes(entry.path, entry.times);
      PutAttributes(entry.path, entry.attributes);
    }
    Done("file " + Shown(entry.path));
  }

  void PutFolder(const JournalEntry& entry) {
    if (Exists(entry.path)) return;
    DWORD code = MakeParents(entry.path);
    if (code == ERROR_SUCCESS) code = context_.effects.CreateFolder(entry.path);
    if (code != ERROR_SUCCESS) return Failed(Shown(entry.path), code);
    PutAttributes(entry.path, entry.attributes);
    Done("folder " + Shown(entry.path));
  }

  // Opens the key of an entry, creating it (and the keys above it) when asked.
  LONG OpenKey(const std::wstring& name, bool create, UniqueHKey& key) {
    const BackupKeyPlace place = PlaceOfBackupKey(name);
    if (place.root == BackupKeyRoot::None) return ERROR_INVALID_NAME;
    const HKEY root = place.root == BackupKeyRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_USERS;
    if (create) return context_.effects.CreateRegistryKey(root, place.subKey, kKeyRights, name, key);
    return context_.effects.OpenRegistryKey(root, place.subKey, 0, kKeyRights, name, key);
  }

  void PutValues(const JournalEntry& entry) {
    const std::string keyName = AnsiFromWide(entry.path);
    UniqueHKey key;
    const bool existed = OpenKey(entry.path, false, key) == ERROR_SUCCESS;
    if (!existed) {
      if (const LONG code = OpenKey(entry.path, true, key); code != ERROR_SUCCESS) {
        return Failed(keyName, static_cast<DWORD>(code));
      }
    }
    int written = 0;
    for (const SavedValue& value : entry.values) {
      const std::string valueName = keyName + "\\" + AnsiFromWide(value.name);
      SavedValue now;
      const LONG read = ReadSavedValue(key.Get(), value.name, now);
      if (read == ERROR_SUCCESS) {
        if (now.type != value.type || now.data != value.data) AddInfo(context_, kNotRestoredExistsText + valueName);
        continue;
      }
      const std::vector<BYTE> data(value.data.begin(), value.data.end());
      const LONG code = context_.effects.WriteRegistryValue(key.Get(), value.name, value.type, data, entry.path);
      if (code != ERROR_SUCCESS) {
        Failed(valueName, static_cast<DWORD>(code));
      } else {
        ++written;
      }
    }
    if (!existed) Done("key " + keyName);
    if (written > 0) Done(std::to_string(written) + " value(s) of " + keyName);
  }

  void TakeWrittenValue(const JournalEntry& entry) {
    if (entry.values.size() != 1) return;
    const SavedValue& written = entry.values.front();
    UniqueHKey key;
    if (OpenKey(entry.path, false, key) != ERROR_SUCCESS) return;
    SavedValue now;
    if (ReadSavedValue(key.Get(), written.name, now) != ERROR_SUCCESS) return;
    const std::string valueName = AnsiFromWide(entry.path + L"\\" + written.name);
    if (now.type != written.type || now.data != written.data) {
      AddInfo(context_, kNotRestoredExistsText + valueName);
      return;
    }
    if (const LONG code = context_.effects.DeleteRegistryValue(key.Get(), written.name, entry.path); code != ERROR_SUCCESS) {
      return Failed(valueName, static_cast<DWORD>(code));
    }
    Done("by removing the renamed value " + valueName);
  }

  CleanerContext& context_;
  std::wstring runFolder_;
  int restored_ = 0;
  std::set<std::wstring> notRestarted_;  // each program named once, however often it was ended
};

}  // namespace

void RunUndo(CleanerContext& context, const std::string& runFolder) {
  const std::wstring folder = ExtendedPath(WithoutTrailingBackslashes(FullPathWide(WideFromAnsi(runFolder))));
  TraceIfOn(context, kUndoStartText + runFolder);
  const Journal journal = ParseJournal(ReadJournalText(folder + L"\\" + WideFromAnsi(kJournalFileName)));
  // Only the last line may be cut short, by a run killed while writing it; anything else
  // means the journal is not what this program wrote, and nothing is touched.
  const std::size_t allowed = journal.lastLineCut ? 1 : 0;
  if (journal.problems.size() > allowed) throw Exception(kUndoBadJournalText + journal.problems.front());
  Undo undo(context, OrdinaryPath(folder));
  undo.Run(journal);
  const int notRestored = context.outcome.notRemoved;
  const std::string summary = std::string(kUndoCompleteText) + ": " + std::to_string(undo.Restored()) +
                              " restored, " + std::to_string(notRestored) + " not restored";
  TraceIfOn(context, summary);
  if (!context.state.QuietMode) context.reporter.SimpleMessage(summary);
}
