#include <windows.h>

#include "backup/undo_steps.h"

#include <vector>

#include "backup/backup_key_names.h"
#include "backup/backup_reads.h"
#include "backup/undo.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/files_paths.h"
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

}  // namespace

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Shown(const std::wstring& path) { return AnsiFromWide(OrdinaryPath(path)); }

bool SameValue(const SavedValue& now, const SavedValue& saved) {
  return now.type == saved.type && now.data == saved.data;
}

std::wstring UndoSteps::CopyPath(const std::wstring& copy) const { return ExtendedPath(runFolder_ + L"\\" + copy); }

void UndoSteps::Done(const std::string& what) {
  ++restored_;
  TraceIfOn(context_, kRestoredText + what);
}

void UndoSteps::Failed(const std::string& what, DWORD code) {
  AddInfo(context_, kNotRestoredText + what + " - " + SystemErrorText(code));
}

void UndoSteps::SomethingElseThere(const std::string& what) { AddInfo(context_, kNotRestoredExistsText + what); }

void UndoSteps::NotRestarted(const std::wstring& what) {
  if (notRestarted_.insert(what).second) TraceIfOn(context_, kNotRestartedText + AnsiFromWide(what));
}

// The folders above a restored item, where a killed run left no entry to make them: up to
// the first that exists, then down making each (a loop, whatever the depth).
DWORD UndoSteps::MakeParents(const std::wstring& path) {
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

void UndoSteps::PutAttributes(const std::wstring& path, DWORD attributes) {
  const DWORD now = GetFileAttributesW(path.c_str());
  if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) == (attributes & kSettableAttributes)) return;
  const DWORD wanted = (attributes & kSettableAttributes) != 0 ? attributes & kSettableAttributes : FILE_ATTRIBUTE_NORMAL;
  if (const DWORD code = context_.effects.SetAttributes(path, wanted); code != ERROR_SUCCESS) {
    Failed("attributes of " + Shown(path), code);
  }
}

// A move keeps a file's times; a copy from another volume does not.
void UndoSteps::PutTimes(const std::wstring& path, const SavedTimes& times) {
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

LONG UndoSteps::OpenKey(const std::wstring& name, bool create, UniqueHKey& key) {
  const BackupKeyPlace place = PlaceOfBackupKey(name);
  if (place.root == BackupKeyRoot::None) return ERROR_INVALID_NAME;
  const HKEY root = place.root == BackupKeyRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_USERS;
  if (create) return context_.effects.CreateRegistryKey(root, place.subKey, kKeyRights, name, key);
  return context_.effects.OpenRegistryKey(root, place.subKey, 0, kKeyRights, name, key);
}
