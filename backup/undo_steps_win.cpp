#include <windows.h>

#include "backup/undo_steps.h"

#include <algorithm>
#include <vector>

#include "backup/backup_folders.h"
#include "backup/backup_key_names.h"
#include "backup/backup_reads.h"
#include "backup/undo.h"
#include "engine/cleaner_context.h"
#include "engine/run_observer.h"
#include "platform/effects.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

// The attributes a program can set; the others (directory, reparse point, ...) the file system keeps.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// What is asked of the system for the attributes kept: none at all is "normal".
DWORD Settable(DWORD attributes) {
  return (attributes & kSettableAttributes) != 0 ? attributes & kSettableAttributes : FILE_ATTRIBUTE_NORMAL;
}
// Keys are named through Wow6432Node where they lie in the 32-bit view: the 64-bit view takes
// such a name as it is written.
constexpr REGSAM kView = KEY_WOW64_64KEY;
// The keys above the one restored: looked at and, where missing, made below.
constexpr REGSAM kLevelRights = KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | kView;
constexpr wchar_t kLinkValue[] = L"SymbolicLinkValue";

bool IsLinkKey(HKEY key) {
  DWORD type = REG_NONE;
  return RegQueryValueExW(key, kLinkValue, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS && type == REG_LINK;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring LastNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

std::string Shown(const std::wstring& path) { return AnsiFromWide(OrdinaryPath(path)); }

bool SameValue(const SavedValue& now, const SavedValue& saved) {
  return now.type == saved.type && now.data == saved.data;
}

std::wstring UndoSteps::CopyPath(const std::wstring& copy) const { return ExtendedPath(runFolder_ + L"\\" + copy); }

void UndoSteps::Done(const std::string& what) {
  ++restored_;
  TraceIfOn(context_, kRestoredText + what);
  if (context_.observer != nullptr) context_.observer->Restored(what);
}

// Every item not put back is counted here, where its line is written: the summary's count is
// the count of these lines.
void UndoSteps::Failed(const std::string& what, DWORD code) {
  ++notRestored_;
  AddInfo(context_, kNotRestoredText + what + " - " + SystemErrorText(code));
}

void UndoSteps::Refused(const JournalEntry& entry, const std::string& why) {
  ++notRestored_;
  AddInfo(context_, kNotRestoredRefusedText + Shown(entry.path) + " - " + why);
}

void UndoSteps::SomethingElseThere(const std::string& what) {
  ++notRestored_;
  AddInfo(context_, kNotRestoredExistsText + what);
}

void UndoSteps::CopyMissing(const std::string& what) {
  ++notRestored_;
  AddInfo(context_, kNotRestoredMissingCopyText + what);
}

void UndoSteps::AlreadyInPlace(const std::string& what) {
  ++inPlace_;
  TraceIfOn(context_, kAlreadyInPlaceText + what);
}

void UndoSteps::StillPending(const std::string& what) {
  ++notRestored_;
  AddInfo(context_, kStillPendingText + what);
}

void UndoSteps::NotRestarted(const std::wstring& what) {
  if (notRestarted_.insert(what).second) TraceIfOn(context_, kNotRestartedText + AnsiFromWide(what));
}

void UndoSteps::PutSecurityLater(const JournalEntry& entry) {
  if (!entry.security.empty()) laterSecurity_.push_back(entry);
}

void UndoSteps::PutLaterSecurity() {
  const auto depth = [](const JournalEntry& entry) { return std::count(entry.path.begin(), entry.path.end(), L'\\'); };
  std::stable_sort(laterSecurity_.begin(), laterSecurity_.end(),
                   [&depth](const JournalEntry& a, const JournalEntry& b) { return depth(a) > depth(b); });
  // Entries of one key keep undo's order (newest change first): the descriptor a key had
  // before the run took it over is the last one written.
  for (const JournalEntry& entry : laterSecurity_) {
    const bool takenOver = entry.kind == JournalKind::KeySecurity;
    if (entry.kind != JournalKind::Key && !takenOver) {
      PutSecurity(entry.path, entry.security);
      continue;
    }
    UniqueHKey key;
    const std::string keyName = AnsiFromWide(entry.path);
    if (const LONG opened = OpenKey(entry, false, READ_CONTROL | WRITE_DAC | WRITE_OWNER, key); opened != ERROR_SUCCESS) {
      Failed("security of " + keyName, static_cast<DWORD>(opened));
      continue;
    }
    if (KeySecurityText(key.Get()) == entry.security) {
      if (takenOver) AlreadyInPlace("security of key " + keyName);
      continue;
    }
    if (const LONG code = context_.effects.SetKeySecurity(key.Get(), entry.security, entry.path); code != ERROR_SUCCESS) {
      Failed("security of " + keyName, static_cast<DWORD>(code));
    } else if (takenOver) {
      Done("security of key " + keyName);
    }
  }
  laterSecurity_.clear();
}

void UndoSteps::PutSecurity(const std::wstring& path, const std::wstring& security) {
  if (security.empty() || FileSecurityText(path) == security) return;
  if (const DWORD code = context_.effects.SetSecurity(path, security); code != ERROR_SUCCESS) {
    Failed("security of " + Shown(path), code);
  }
}

void UndoSteps::PutAttributes(const std::wstring& path, DWORD attributes) {
  const DWORD now = GetFileAttributesW(path.c_str());
  if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) == (attributes & kSettableAttributes)) return;
  if (const DWORD code = context_.effects.SetAttributes(path, Settable(attributes)); code != ERROR_SUCCESS) {
    Failed("attributes of " + Shown(path), code);
  }
}

void UndoSteps::PutFacts(HANDLE item, const std::wstring& path, const SavedTimes& times, DWORD attributes,
                         const std::wstring& security) {
  // Only what differs is written: a time rewritten loses the digits finer than FILETIME's 100 ns
  // that the file system may keep, and a move keeps a file's times.
  HandleFacts now;
  const bool read = FactsOfHandle(item, now);
  const auto wanted = [read](const FILETIME& current, std::uint64_t saved) {
    return (read && FileTimeCount(current) == saved) || saved == 0 ? FILETIME{} : FileTimeOf(saved);
  };
  const FILETIME changed[3] = {wanted(now.creation, times.creation), wanted(now.lastAccess, times.lastAccess),
                               wanted(now.lastWrite, times.lastWrite)};
  const std::wstring sddl = security.empty() || HandleSecurityText(item) == security ? std::wstring() : security;
  const bool sameAttributes = read && (now.attributes & kSettableAttributes) == (attributes & kSettableAttributes);
  const auto zero = [](const FILETIME& time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; };
  if (sameAttributes && sddl.empty() && zero(changed[0]) && zero(changed[1]) && zero(changed[2])) return;
  std::string failed;
  if (const DWORD code = context_.effects.SetOpenFacts(item, path, changed, Settable(attributes), sddl, failed);
      code != ERROR_SUCCESS) {
    Failed(failed + " of " + Shown(path), code);
  }
}

// A key of another user's hive: below the SID where the user is signed in, else below the
// name the hive is loaded under for the undo, which must be the hive file the run loaded.
LONG UndoSteps::HiveRoot(const JournalEntry& entry, std::wstring& below) {
  const std::size_t cut = below.find(L'\\');
  std::wstring sid = below.substr(0, cut);
  const bool classes = sid.ends_with(L"_Classes");
  if (classes) sid.resize(sid.size() - std::wstring_view(L"_Classes").size());
  if (!hives_) hives_.emplace();
  for (const UserHive& hive : hives_->Hives()) {
    if (!SameText(WideFromAnsi(hive.sid), sid)) continue;
    const std::string& loadedAs = classes ? hive.classesKeyName : hive.keyName;
    const std::wstring file =
        hive.profileFolderWide + WideFromAnsi(classes ? kClassesHiveFiles[0] : kUserHiveFiles[0]);
    if (loadedAs.empty() || !SameText(file, entry.hive)) return ERROR_INVALID_NAME;
    below = WideFromAnsi(loadedAs) + (cut == std::wstring::npos ? L"" : below.substr(cut));
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG UndoSteps::OpenKey(const JournalEntry& entry, bool create, REGSAM rights, UniqueHKey& key) {
  const BackupKeyPlace place = PlaceOfBackupKey(entry.path);
  if (place.root == BackupKeyRoot::None) return ERROR_INVALID_NAME;
  std::wstring below = place.subKey;
  if (!entry.hive.empty()) {
    if (place.root != BackupKeyRoot::Users) return ERROR_INVALID_NAME;
    if (const LONG code = HiveRoot(entry, below); code != ERROR_SUCCESS) return code;
  }
  // Level by level, each opened as itself; the first level below HKEY_USERS (a user's hive)
  // is never made.
  HKEY parent = place.root == BackupKeyRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_USERS;
  UniqueHKey level;
  std::size_t start = 0;
  for (bool first = true;; first = false) {
    const std::size_t cut = below.find(L'\\', start);
    const std::wstring name = below.substr(start, cut == std::wstring::npos ? std::wstring::npos : cut - start);
    const bool last = cut == std::wstring::npos;
    const REGSAM wanted = last ? rights | KEY_QUERY_VALUE | kView : kLevelRights;
    UniqueHKey next;
    LONG code = context_.effects.OpenRegistryKey(parent, name, REG_OPTION_OPEN_LINK, wanted, entry.path, next);
    const bool madeRoot = first && place.root == BackupKeyRoot::Users;
    if (code == ERROR_FILE_NOT_FOUND && create && !madeRoot && !(first && place.root == BackupKeyRoot::LocalMachine)) {
      code = context_.effects.CreateRegistryKey(parent, name, wanted, entry.path, next);
    }
    if (code != ERROR_SUCCESS) return code;
    if (IsLinkKey(next.Get())) return ERROR_CANT_ACCESS_FILE;
    level = std::move(next);
    parent = level.Get();
    if (last) break;
    start = cut + 1;
  }
  key = std::move(level);
  return ERROR_SUCCESS;
}
