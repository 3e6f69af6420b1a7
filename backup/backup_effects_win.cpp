#include <windows.h>

#include "backup/backup_effects.h"

#include <algorithm>
#include <utility>

#include "backup/backup_key_names.h"
#include "backup/backup_reads.h"
#include "backup/registry_export.h"
#include "engine/cleaner_context.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/processes/service_control.h"
#include "platform/registry/key_opening.h"
#include "platform/registry/registry_accessor.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsInUse(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }
bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The folder that holds path (extended form), following links on the way as the path itself
// does (the guards judged that path), for a change made relative to it; with the last name.
UniqueFile OpenParentOf(const std::wstring& path, std::wstring& name) {
  const std::size_t cut = path.find_last_of(L'\\');
  if (cut == std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return UniqueFile();
  }
  name = path.substr(cut + 1);
  std::wstring parent = path.substr(0, cut);
  if (parent.ends_with(L':')) parent += L'\\';  // a drive root: "C:\", "\\?\C:\"
  return UniqueFile(CreateFileW(parent.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::string Reason(DWORD code) { return SystemErrorText(code); }

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

bool IsDriveRoot(const std::wstring& path) {
  const std::wstring ordinary = OrdinaryPath(path);
  return ordinary.size() <= 3;
}

}  // namespace

void BackupEffects::BeginRun(const std::string& folder, LineSink refused, LineSink noted) {
  folder_ = folder.empty() ? std::wstring() : ExtendedPath(WithoutTrailingBackslashes(FullPathWide(WideFromAnsi(folder))));
  refused_ = std::move(refused);
  noted_ = std::move(noted);
  store_ = BackupStore();
  openFailure_ = ERROR_SUCCESS;
  journalFailureSaid_ = false;
  lastRefused_.clear();
  backupIdentity_.reset();
  holdsBackup_.clear();
  restartKept_.reset();
  pendingFolders_.clear();
  if (folder_.empty()) return;
  std::size_t missing = 0;
  if (const std::string problem = ExistingLevelsProblem(*security_, folder_, missing); !problem.empty()) {
    folder_.clear();
    throw Exception(kBackupFolderRefusedText + folder + " - " + problem);
  }
}

void BackupEffects::EndRun() {
  namedBase_ = nullptr;
  store_.Flush();
  store_ = BackupStore();
  folder_.clear();
}

DWORD BackupEffects::Ready() {
  if (store_.IsOpen()) return ERROR_SUCCESS;
  // A backup folder that cannot be made now will not be made a moment later: every change
  // of the run is refused with the same reason, without trying again for each.
  if (openFailure_ != ERROR_SUCCESS) return openFailure_;
  std::string problem;
  openFailure_ = store_.Open(*security_, folder_, problem);
  if (!problem.empty() && refused_) refused_(kBackupFolderRefusedText + AnsiFromWide(OrdinaryPath(folder_)) + " - " + problem);
  if (openFailure_ != ERROR_SUCCESS) return openFailure_;
  if (const auto facts = FactsOfPath(folder_)) backupIdentity_ = facts->identity;
  if (noted_) noted_(kBackupFolderText + AnsiFromWide(store_.RunFolder()));
  return openFailure_;
}

DWORD BackupEffects::WriteAhead(JournalEntry& entry) {
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return error;
  if (entry.number == 0) entry.number = store_.NextNumber();
  const DWORD error = store_.Write(entry);
  if (error != ERROR_SUCCESS && !journalFailureSaid_) {
    journalFailureSaid_ = true;
    if (refused_) refused_(kJournalFailedText + Reason(error));
  }
  return error;
}

void BackupEffects::NotDone(std::uint64_t number, DWORD code) {
  JournalEntry entry;
  entry.kind = JournalKind::NotDone;
  entry.notDone = number;
  entry.path = WideFromAnsi(Reason(code));
  (void)WriteAhead(entry);  // without the line, undo finds the thing still in place and leaves it
}

DWORD BackupEffects::Refuse(const std::wstring& what, DWORD reason) {
  if (what != lastRefused_ && refused_) {
    refused_(kBackupFailedText + AnsiFromWide(OrdinaryPath(what)) + " (" + Reason(reason) + ")");
  }
  lastRefused_ = what;
  return kBackupRefusedCode;
}

bool BackupEffects::InsideBackup(const std::wstring& path, bool isFolder) {
  // Neither the backup folder nor anything above or in it: a rule naming a folder that holds
  // the backup must not move the backup into itself or delete it.
  const std::wstring top = WithoutTrailingBackslashes(path);
  if (CompareStringOrdinal(top.c_str(), -1, folder_.c_str(), -1, TRUE) == CSTR_EQUAL || IsBelowFolder(top, folder_) ||
      IsBelowFolder(folder_, top)) {
    return true;
  }
  return FolderHoldsBackup(isFolder ? top : ParentOf(top));
}

// Each folder is opened once per run: the verdict of a folder is that of the first folder
// above it whose verdict is known, unless it is the backup folder itself.
bool BackupEffects::FolderHoldsBackup(const std::wstring& folder) {
  if (!backupIdentity_ || folder.empty()) return false;
  std::vector<std::wstring> unknown;
  bool holds = false;
  for (std::wstring level = folder; !level.empty(); level = ParentOf(level)) {
    if (const auto known = holdsBackup_.find(level); known != holdsBackup_.end()) {
      holds = known->second;
      break;
    }
    const auto facts = FactsOfPath(level);
    if (facts && facts->identity == *backupIdentity_) {
      holds = true;
      holdsBackup_[level] = true;
      break;
    }
    unknown.push_back(level);
    if (IsDriveRoot(level)) break;
  }
  for (const std::wstring& level : unknown) holdsBackup_[level] = holds;
  return holds;
}

void BackupEffects::NameKey(HKEY key, JournalEntry& entry) const { NameKey(InternalKeyName(key), entry); }

// A walk deletes the subkeys of one key one after another, each by its name below the key's
// handle: the key's own name is asked for once, not once per subkey. The readable name must
// match too, since a handle's value is used again once it is closed.
std::wstring BackupEffects::InternalNameBelow(HKEY base, const std::wstring& subKey, const std::wstring& keyName) {
  const std::size_t cut = keyName.find_last_of(L'\\');
  const std::wstring parentName = cut == std::wstring::npos ? std::wstring() : keyName.substr(0, cut);
  if (subKey.empty() || subKey.find(L'\\') != std::wstring::npos || parentName.empty()) return {};
  if (base != namedBase_ || parentName != namedBaseName_) {
    namedBase_ = base;
    namedBaseName_ = parentName;
    namedBaseInternal_ = InternalKeyName(base);
  }
  return namedBaseInternal_.empty() ? std::wstring() : namedBaseInternal_ + L"\\" + subKey;
}

void BackupEffects::NameKey(const std::wstring& internalName, JournalEntry& entry) const {
  entry.path = BackupKeyName(internalName);
  const BackupKeyPlace place = PlaceOfBackupKey(entry.path);
  if (place.root != BackupKeyRoot::Users || hives_ == nullptr) return;
  const std::size_t cut = place.subKey.find(L'\\');
  const std::wstring loadedAs = place.subKey.substr(0, cut);
  const auto same = [&loadedAs](const std::string& name) {
    return !name.empty() &&
           CompareStringOrdinal(WideFromAnsi(name).c_str(), -1, loadedAs.c_str(), -1, TRUE) == CSTR_EQUAL;
  };
  const std::wstring below = cut == std::wstring::npos ? L"" : place.subKey.substr(cut);
  for (const UserHive& hive : *hives_) {
    // The user's own hive, or the user's classes hive loaded beside it.
    const bool classes = same(hive.classesKeyName);
    if (!classes && !same(hive.keyName)) continue;
    entry.path = L"HKEY_USERS\\" + WideFromAnsi(hive.sid) + (classes ? L"_Classes" : L"") + below;
    entry.hive = hive.profileFolderWide + WideFromAnsi(classes ? kClassesHiveFiles[0] : kUserHiveFiles[0]);
    return;
  }
}

DWORD BackupEffects::MoveIntoBackup(HANDLE parent, const std::wstring& name, const std::wstring& path, JournalKind kind,
                                    const KeptFile& kept, HANDLE opened) {
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return Refuse(path, error);
  if (store_.Broken()) return Refuse(path, ERROR_WRITE_FAULT);
  JournalEntry entry;
  entry.kind = kind;
  entry.path = path;
  entry.number = store_.NextNumber();
  entry.attributes = kept.facts.attributes;
  BackupStore::CopyPlace place;
  if (const DWORD error = store_.PrepareCopy(entry.number, path, place); error != ERROR_SUCCESS) {
    return Refuse(path, error);
  }
  entry.copy = place.copyName;
  entry.times = kept.facts.times;
  if (kind != JournalKind::Link) {
    entry.size = kept.size;
    entry.sha256 = kept.sha256;
    entry.security = kept.security;
    entry.fileId = kept.fileId;  // a rename keeps it: undo knows the copy by it
    entry.links = kept.links;
  }
  if (const DWORD error = WriteAhead(entry); error != ERROR_SUCCESS) return Refuse(path, error);
  const bool folder = (kept.facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::wstring target = store_.FullCopyPath(entry.copy);
  DWORD code = opened != INVALID_HANDLE_VALUE ? inner_.MoveOpen(opened, path, place.folder, place.name, target)
                                              : inner_.MoveChild(parent, name, path, folder, place.folder, place.name, target);
  if (code == ERROR_NOT_SAME_DEVICE && kind == JournalKind::File) {
    // Another volume: a verified copy, then the original goes.
    if (const DWORD copied = CopyIntoFolder(path, place.folder, place.name); copied != ERROR_SUCCESS) {
      NotDone(entry.number, copied);
      return Refuse(path, copied);
    }
    const bool readOnly = (kept.facts.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    code = inner_.RemoveChild(parent, name, path, false, readOnly);
    if (code != ERROR_SUCCESS) {
      if (readOnly) (void)inner_.SetAttributes(path, kept.facts.attributes);
      (void)RemoveChildOf(place.folder, place.name, false, true);
    }
  } else if (code == ERROR_NOT_SAME_DEVICE) {
    NotDone(entry.number, code);  // a link is moved as itself or not at all
    return Refuse(path, code);
  }
  if (code != ERROR_SUCCESS) NotDone(entry.number, code);
  return code;
}

// By path: the file is reached relative to the folder that holds it, as a walk reaches it.
DWORD BackupEffects::KeepFile(HANDLE parent, const std::wstring& name, const std::wstring& path) {
  // Read and moved through one handle: a name swapped after the read (for a hard link to a
  // file of Windows with the same bytes) cannot put another file into the backup under the
  // journal's line.
  UniqueFile opened;
  KeptFile kept;
  DWORD error = OpenChild(parent, name, READ_CONTROL | GENERIC_READ | DELETE, false, opened);
  if (error == ERROR_SUCCESS) error = ReadKeptHandle(opened.Get(), true, kept);
  if (error != ERROR_SUCCESS) {
    opened.Reset();
    if (IsMissing(error)) return inner_.RemoveChild(parent, name, path, false, false);  // nothing to keep
    // A file in use answers as its deletion would have: the caller lists it or leaves it to the restart.
    return IsInUse(error) ? error : Refuse(path, error);
  }
  return MoveIntoBackup(parent, name, path, IsLink(kept.facts.attributes) ? JournalKind::Link : JournalKind::File, kept,
                        opened.Get());
}

DWORD BackupEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
  if (!On()) return inner_.SetAttributes(path, attributes);
  if (InsideBackup(path, false)) return Refuse(path, ERROR_ACCESS_DENIED);
  const DWORD before = GetFileAttributesW(path.c_str());
  if (before == INVALID_FILE_ATTRIBUTES || before == attributes) return inner_.SetAttributes(path, attributes);
  JournalEntry entry;
  entry.kind = JournalKind::Attributes;
  entry.path = path;
  entry.attributes = before;
  return Journaled(entry, path, [&] { return inner_.SetAttributes(path, attributes); });
}

DWORD BackupEffects::RemoveFile(const std::wstring& path) {
  if (!On()) return inner_.RemoveFile(path);
  if (InsideBackup(path, false)) return Refuse(path, ERROR_ACCESS_DENIED);
  std::wstring name;
  const UniqueFile parent = OpenParentOf(path, name);
  if (!parent) {
    const DWORD error = GetLastError();
    return IsMissing(error) ? inner_.RemoveFile(path) : Refuse(path, error);
  }
  return KeepFile(parent.Get(), name, path);
}

DWORD BackupEffects::RemoveEmptyFolder(const std::wstring& path) {
  if (!On()) return inner_.RemoveEmptyFolder(path);
  if (std::find(pendingFolders_.begin(), pendingFolders_.end(), path) != pendingFolders_.end()) {
    return inner_.RemoveEmptyFolder(path);
  }
  if (InsideBackup(path, true)) return Refuse(path, ERROR_ACCESS_DENIED);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return inner_.RemoveEmptyFolder(path);
  if (IsLink(attributes)) {
    KeptFile kept;
    kept.facts = FactsOf(path);
    std::wstring name;
    const UniqueFile parent = OpenParentOf(path, name);
    if (!parent) return Refuse(path, GetLastError());
    return MoveIntoBackup(parent.Get(), name, path, JournalKind::Link, kept);
  }
  JournalEntry entry;
  entry.kind = JournalKind::Folder;
  entry.path = path;
  entry.attributes = attributes;
  entry.security = FileSecurityText(path);
  return Journaled(entry, path, [&] { return inner_.RemoveEmptyFolder(path); });
}

// With the backup on, a file is moved into the backup relative to its folder's handle, its
// attributes as they are (the move needs no plain ones, and the journal keeps them); a folder
// goes by its name through the calls above, which keep it.
DWORD BackupEffects::RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                                 bool plainFirst) {
  if (!On()) return inner_.RemoveChild(parent, name, path, folder, plainFirst);
  if (folder) return Effects::RemoveChild(parent, name, path, folder, plainFirst);
  if (InsideBackup(path, false)) return Refuse(path, ERROR_ACCESS_DENIED);
  return KeepFile(parent, name, path);
}

// The system deletes the file at the restart, long after this run: it is copied now.
DWORD BackupEffects::DeleteAtRestart(const std::wstring& path) {
  if (!On()) return inner_.DeleteAtRestart(path);
  if (std::find(pendingFolders_.begin(), pendingFolders_.end(), path) != pendingFolders_.end()) {
    return inner_.DeleteAtRestart(path);
  }
  if (const auto kept = TakeRestartKept(path)) {
    const DWORD code = inner_.DeleteAtRestart(path);
    if (code != ERROR_SUCCESS) NotDone(kept->number, code);
    return code;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (InsideBackup(path, folder)) return Refuse(path, ERROR_ACCESS_DENIED);
  if (attributes == INVALID_FILE_ATTRIBUTES) return inner_.DeleteAtRestart(path);
  KeptFile kept;
  if (const DWORD error = ReadKeptFile(path, !folder, kept); error != ERROR_SUCCESS) return Refuse(path, error);
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return Refuse(path, error);
  if (store_.Broken()) return Refuse(path, ERROR_WRITE_FAULT);
  JournalEntry entry;
  entry.path = path;
  entry.attributes = kept.facts.attributes;
  entry.security = kept.security;
  entry.number = store_.NextNumber();
  BackupStore::CopyPlace place;
  if (folder) {
    entry.kind = JournalKind::Folder;
  } else {
    entry.kind = JournalKind::RestartFile;
    entry.times = kept.facts.times;
    entry.size = kept.size;
    entry.sha256 = kept.sha256;
    if (const DWORD error = store_.PrepareCopy(entry.number, path, place); error != ERROR_SUCCESS) {
      return Refuse(path, error);
    }
    entry.copy = place.copyName;
  }
  if (const DWORD error = WriteAhead(entry); error != ERROR_SUCCESS) return Refuse(path, error);
  if (entry.kind == JournalKind::RestartFile) {
    if (const DWORD copied = CopyIntoFolder(path, place.folder, place.name); copied != ERROR_SUCCESS) {
      NotDone(entry.number, copied);
      return Refuse(path, copied);
    }
  }
  const DWORD code = inner_.DeleteAtRestart(path);
  if (code != ERROR_SUCCESS) NotDone(entry.number, code);
  return code;
}

// The key's values go to the journal and to the regedit export before the key goes. Keys
// are deleted deepest first, so by the time a key goes, everything below it is kept. The key
// is opened as itself, and deleted through the handle it was read through where the system
// grants deletion on it: what was kept is what goes.
LONG BackupEffects::DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view,
                                      const std::wstring& keyName) {
  if (!On()) return inner_.DeleteRegistryKey(base, subKey, view, keyName);
  constexpr REGSAM kRead = KEY_QUERY_VALUE | READ_CONTROL;
  UniqueHKey key;
  LONG openCode = OpenKeyPastAccessList(base, subKey, REG_OPTION_OPEN_LINK, kRead | DELETE | view, key);
  const bool deletable = openCode == ERROR_SUCCESS;
  // A key that may not be deleted is still kept; its deletion by name then answers why it stays.
  if (openCode == ERROR_ACCESS_DENIED) {
    openCode = OpenKeyPastAccessList(base, subKey, REG_OPTION_OPEN_LINK, kRead | view, key);
  }
  if (IsNotFound(openCode)) return inner_.DeleteRegistryKey(base, subKey, view, keyName);
  if (openCode != ERROR_SUCCESS) return Refuse(keyName, static_cast<DWORD>(openCode));
  JournalEntry entry;
  entry.kind = JournalKind::Key;
  entry.security = KeySecurityText(key.Get());
  if (const LONG code = ReadSavedValues(key.Get(), entry.values); code != ERROR_SUCCESS) {
    return Refuse(keyName, static_cast<DWORD>(code));
  }
  return KeepKey(entry, key.Get(), deletable, base, subKey, view, keyName);
}

LONG BackupEffects::DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                      const std::wstring& keyName) {
  if (!On()) return inner_.DeleteOpenLeafKey(key, base, subKey, view, keyName);
  JournalEntry entry;
  entry.kind = JournalKind::Key;
  DWORD subKeys = 0;
  // One question gives the values' sizes and the subkeys: a key with subkeys is left at once.
  const LONG read = ReadSavedValues(key, entry.values, &subKeys);
  if (read == ERROR_SUCCESS && subKeys > 0) return kKeyHasSubkeysCode;
  if (read == ERROR_SUCCESS) entry.security = KeySecurityText(key);
  if (entry.security.empty()) return Effects::DeleteOpenLeafKey(key, base, subKey, view, keyName);
  return KeepKey(entry, key, true, base, subKey, view, keyName);
}

LONG BackupEffects::KeepKey(JournalEntry& entry, HKEY key, bool deletable, HKEY base, const std::wstring& subKey,
                            REGSAM view, const std::wstring& keyName) {
  const std::wstring below = InternalNameBelow(base, subKey, keyName);
  NameKey(below.empty() ? InternalKeyName(key) : below, entry);
  if (entry.path.empty()) return Refuse(keyName, ERROR_INVALID_NAME);
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return Refuse(keyName, error);
  if (const DWORD error = store_.WriteRegistryExport(RegistryExportKey(entry.path, entry.values));
      error != ERROR_SUCCESS) {
    return Refuse(keyName, error);
  }
  return Journaled(entry, keyName, [&] {
    return deletable ? inner_.DeleteOpenRegistryKey(key, base, subKey, view, keyName)
                     : inner_.DeleteRegistryKey(base, subKey, view, keyName);
  });
}

LONG BackupEffects::TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) {
  if (!On()) return inner_.TakeKeyOwnership(base, subKey, view, keyName);
  UniqueHKey key;
  if (const LONG code = inner_.OpenRegistryKey(base, subKey, REG_OPTION_OPEN_LINK, READ_CONTROL | view, keyName, key);
      code != ERROR_SUCCESS) {
    return static_cast<LONG>(Refuse(keyName, static_cast<DWORD>(code)));
  }
  JournalEntry entry;
  entry.kind = JournalKind::KeySecurity;
  NameKey(key.Get(), entry);
  entry.security = KeySecurityText(key.Get());
  if (entry.path.empty()) return static_cast<LONG>(Refuse(keyName, ERROR_INVALID_NAME));
  if (entry.security.empty()) return static_cast<LONG>(Refuse(keyName, ERROR_INVALID_SECURITY_DESCR));
  key.Reset();
  return Journaled(entry, keyName, [&] { return inner_.TakeKeyOwnership(base, subKey, view, keyName); });
}

LONG BackupEffects::DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) {
  if (!On()) return inner_.DeleteRegistryValue(key, valueName, keyName);
  const std::wstring shown = keyName + L"\\" + valueName;
  JournalEntry entry;
  entry.kind = JournalKind::Value;
  entry.values.emplace_back();
  const LONG read = ReadSavedValue(key, valueName, entry.values.front());
  if (IsNotFound(read)) return inner_.DeleteRegistryValue(key, valueName, keyName);
  if (read != ERROR_SUCCESS) return Refuse(shown, static_cast<DWORD>(read));
  NameKey(key, entry);
  if (entry.path.empty()) return Refuse(shown, ERROR_INVALID_NAME);
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return Refuse(shown, error);
  if (const DWORD error = store_.WriteRegistryExport(RegistryExportKey(entry.path, entry.values));
      error != ERROR_SUCCESS) {
    return Refuse(shown, error);
  }
  return Journaled(entry, shown, [&] { return inner_.DeleteRegistryValue(key, valueName, keyName); });
}

// A value the run writes (a rename's new name) is taken away again by undo; one it would
// replace is kept first, like a deleted one.
LONG BackupEffects::WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type,
                                       const std::vector<BYTE>& data, const std::wstring& keyName) {
  if (!On()) return inner_.WriteRegistryValue(key, valueName, type, data, keyName);
  const std::wstring shown = keyName + L"\\" + valueName;
  JournalEntry entry;
  NameKey(key, entry);
  if (entry.path.empty()) return Refuse(shown, ERROR_INVALID_NAME);
  SavedValue before;
  if (ReadSavedValue(key, valueName, before) == ERROR_SUCCESS) {
    entry.kind = JournalKind::Value;
    entry.values = {before};
    if (const DWORD error = WriteAhead(entry); error != ERROR_SUCCESS) return Refuse(shown, error);
    entry.number = 0;
  }
  entry.kind = JournalKind::WrittenValue;
  entry.values = {SavedValue{valueName, type, {data.begin(), data.end()}}};
  return Journaled(entry, shown, [&] { return inner_.WriteRegistryValue(key, valueName, type, data, keyName); });
}

// An ended process or stopped service cannot be kept; the journal names it, so that undo can
// say what it does not bring back.
bool BackupEffects::EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) {
  const bool ended = inner_.EndProcess(process, exitCode, exeName);
  if (ended && On()) {
    JournalEntry entry;
    entry.kind = JournalKind::Process;
    entry.path = WideFromAnsi(exeName);
    (void)WriteAhead(entry);
  }
  return ended;
}

DWORD BackupEffects::StopService(SC_HANDLE service, const std::string& serviceName) {
  const DWORD code = inner_.StopService(service, serviceName);
  if (code == ERROR_SUCCESS && On()) {
    JournalEntry entry;
    entry.kind = JournalKind::Service;
    entry.path = WideFromAnsi(serviceName);
    (void)WriteAhead(entry);
  }
  return code;
}

// A service's settings are written to the journal before they change; undo sets them again.
DWORD BackupEffects::ConfigureService(SC_HANDLE service, const std::string& serviceName,
                                      const ServiceSettings& settings) {
  if (!On()) return inner_.ConfigureService(service, serviceName, settings);
  const std::wstring shown = WideFromAnsi(serviceName);
  ServiceSettings before;
  if (const DWORD error = ReadServiceSettings(service, before); error != ERROR_SUCCESS) return Refuse(shown, error);
  JournalEntry entry;
  entry.kind = JournalKind::ServiceSettings;
  entry.path = shown;
  const std::vector<std::uint8_t> bytes = EncodeServiceSettings(before);
  entry.values = {SavedValue{L"", REG_BINARY, bytes}};
  return Journaled(entry, shown, [&] { return inner_.ConfigureService(service, serviceName, settings); });
}

DWORD BackupEffects::KeepRestartFile(const std::wstring& path, RestartKept& kept) {
  if (InsideBackup(path, false)) return Refuse(path, ERROR_ACCESS_DENIED);
  const auto facts = FactsOfPath(path, false);
  KeptFile read;
  if (!facts) return Refuse(path, ERROR_FILE_NOT_FOUND);
  if (const DWORD error = ReadKeptFile(path, true, read); error != ERROR_SUCCESS) return Refuse(path, error);
  if (const DWORD error = Ready(); error != ERROR_SUCCESS) return Refuse(path, error);
  if (store_.Broken()) return Refuse(path, ERROR_WRITE_FAULT);
  JournalEntry entry;
  entry.kind = JournalKind::RestartFile;
  entry.path = path;
  entry.number = store_.NextNumber();
  entry.attributes = read.facts.attributes;
  entry.security = read.security;
  entry.times = read.facts.times;
  entry.size = read.size;
  entry.sha256 = read.sha256;
  BackupStore::CopyPlace place;
  if (const DWORD error = store_.PrepareCopy(entry.number, path, place); error != ERROR_SUCCESS) {
    return Refuse(path, error);
  }
  entry.copy = place.copyName;
  if (const DWORD error = WriteAhead(entry); error != ERROR_SUCCESS) return Refuse(path, error);
  if (const DWORD copied = CopyIntoFolder(path, place.folder, place.name); copied != ERROR_SUCCESS) {
    NotDone(entry.number, copied);
    return Refuse(path, copied);
  }
  kept = {entry.number, facts->identity};
  return ERROR_SUCCESS;
}

std::optional<BackupEffects::RestartKept> BackupEffects::TakeRestartKept(const std::wstring& path) {
  if (!restartKept_) return std::nullopt;
  const auto facts = FactsOfPath(path, false);
  if (!facts || !(facts->identity == restartKept_->identity)) return std::nullopt;
  return std::exchange(restartKept_, std::nullopt);
}

// The move keeps the file where undo looks for it: under the name it had, as a file left to
// the restart. Undo then brings it back from its copy, whatever the restart did to the moved one.
DWORD BackupEffects::MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE into,
                               const std::wstring& newName, const std::wstring& target) {
  restartKept_.reset();
  if (!On()) return inner_.MoveChild(parent, name, path, folder, into, newName, target);
  RestartKept kept;
  if (const DWORD error = KeepRestartFile(path, kept); error != ERROR_SUCCESS) return error;
  restartKept_ = kept;
  return inner_.MoveChild(parent, name, path, folder, into, newName, target);
}

DWORD BackupEffects::OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) {
  if (On() && std::find(pendingFolders_.begin(), pendingFolders_.end(), path) == pendingFolders_.end()) {
    pendingFolders_.push_back(path);
  }
  return inner_.OpenPrivateFolder(path, folder);
}

void BackupEffects::RunStarting(CleanerContext& context, const RunOptions& options) {
  UseUserHives(&context.userHives);
  BeginRun(
      options.backupFolder, [&context](const std::string& line) { AddInfo(context, line); },
      [&context](const std::string& line) { TraceIfOn(context, line); });
}
