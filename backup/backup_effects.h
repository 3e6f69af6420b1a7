#pragma once
// Makes a backup of every change before passing it on to the gateway it wraps: files and
// links are moved into the run's backup folder instead of deleted, keys and values are
// written to the journal and the regedit export first. A change whose backup cannot be made
// is not carried out: it is listed ("Not deleted, backup failed: ...") and answered with
// kBackupRefusedCode. Off until a run starts with a backup folder.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_reads.h"
#include "backup/backup_store.h"
#include "backup/whole_tree.h"
#include "engine/run_hook.h"
#include "platform/effects.h"
#include "platform/files/file_identity.h"
#include "platform/registry/user_hives.h"

// Followed by what stayed, " (", the reason and ")".
inline constexpr char kBackupFailedText[] = "Not deleted, backup failed: ";
// Followed by the run's backup folder.
inline constexpr char kBackupFolderText[] = "Backup of this run: ";
// Followed by the backup folder, " - " and why it is refused; raised before any change.
inline constexpr char kBackupFolderRefusedText[] = "The backup folder is not safe: ";
// Said once, followed by the reason: the run makes no further change.
inline constexpr char kJournalFailedText[] =
    "The backup journal could not be written; nothing more is changed in this run: ";

// Traced for a folder tree that goes into the backup item by item rather than whole; followed
// by the folder, " - " and why.
inline constexpr char kTreeItemByItemText[] = "Moved into the backup item by item: ";
// Traced where a tree moved whole into the backup could not be closed to everyone but the
// administrators; followed by its copy.
inline constexpr char kTreeNotClosedText[] = "Could not close the backup copy to others: ";
// Traced for a file or folder that came into a tree between its read and its rename, and so
// went into the backup with it (journaled, and put back by undo); followed by its path.
inline constexpr char kTreeItemArrivedText[] = "Came into the folder while it was read, kept with it: ";
// Traced for an item read with its tree and gone before the rename; followed by its path.
inline constexpr char kTreeItemGoneText[] = "Gone from the folder before it was moved: ";
// Traced where the moved tree could not be read again; followed by the folder, " - " and why.
inline constexpr char kTreeNotComparedText[] = "Could not compare the moved folder with what was read: ";

class BackupEffects : public ForwardingEffects, public RunHook {
 public:
  using LineSink = std::function<void(const std::string&)>;
  explicit BackupEffects(Effects& inner) : ForwardingEffects(inner) {}

  // Starts a run's backup below folder (ANSI, a plain full path); an empty folder leaves the
  // backup off. The run's folder is made at its first change. refused lists a refusal and
  // counts it; noted writes a line to the trace log. A backup folder (or a folder above it)
  // that someone other than the administrators can change raises Exception, before any change.
  void BeginRun(const std::string& folder, LineSink refused, LineSink noted);
  // Where owners and access lists are read; the system's unless a test says otherwise.
  void UseFolderSecurity(FolderSecurity& security) { security_ = &security; }
  // Other users' hives of the run, loaded: their keys are journaled by SID and hive file.
  void UseUserHives(const std::vector<UserHive>* hives) { hives_ = hives; }
  // Hands the journal to the disk and turns the backup off.
  void EndRun();
  bool On() const { return !folder_.empty(); }
  // A run with a backup folder keeps every change it makes; its refusals are listed and
  // counted, its notes traced, and the journal reaches the disk when it ends.
  void RunStarting(CleanerContext& context, const RunOptions& options) override;
  void RunEnded() override { EndRun(); }

  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override;
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override;
  // A tree whose every entry is free goes into the backup with one rename of its top,
  // journaled item by item, and is then closed to everyone but the administrators; any other
  // tree is left to the walk, item by item.
  DWORD RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                   std::vector<RemovedItem>& removed) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE into,
                  const std::wstring& newName, const std::wstring& target) override;
  DWORD OpenPrivateFolder(const std::wstring& path, UniqueFile& folder) override;
  // The key's descriptor is journaled before it is taken over; a key whose descriptor cannot
  // be read is not taken over (undo could not put it back).
  LONG TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  // With the backup on, a leaf is read through the walk's own handle, once, and kept as
  // DeleteRegistryKey keeps a key; one whose handle cannot give its values and its security
  // goes through DeleteRegistryKey, which opens it to read them.
  LONG DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                         const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;
  DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName, const ServiceSettings& settings) override;

 private:
  // The run's folder, made on first use: ERROR_SUCCESS or why it could not be made.
  DWORD Ready();
  // Writes the entry ahead of its change, numbered: ERROR_SUCCESS or why it could not.
  DWORD WriteAhead(JournalEntry& entry);
  // The change of entry `number` did not happen: said in the journal, so undo leaves it.
  void NotDone(std::uint64_t number, DWORD code);
  // Lists the refusal (once for a path refused twice in a row) and answers kBackupRefusedCode.
  DWORD Refuse(const std::wstring& what, DWORD reason);
  // Writes the entry ahead, then makes the change, which is noted as not done when it fails.
  // A change whose entry cannot be written is not made.
  template <typename Change>
  auto Journaled(JournalEntry& entry, const std::wstring& what, Change change) -> decltype(change()) {
    using Code = decltype(change());
    if (const DWORD error = WriteAhead(entry); error != ERROR_SUCCESS) return static_cast<Code>(Refuse(what, error));
    const Code code = change();
    if (code != ERROR_SUCCESS) NotDone(entry.number, static_cast<DWORD>(code));
    return code;
  }
  // Moves the child `name` of the folder open as parent into the backup, relative to both
  // folders' handles; another volume's file is copied and verified, then removed.
  // opened: the file's handle (with DELETE) it was read through, which the move then goes
  // through; INVALID_HANDLE_VALUE to move it by its name in parent.
  DWORD MoveIntoBackup(HANDLE parent, const std::wstring& name, const std::wstring& path, JournalKind kind,
                       const KeptFile& kept, HANDLE opened = INVALID_HANDLE_VALUE);
  // Reads the file for the journal and moves it into the backup.
  DWORD KeepFile(HANDLE parent, const std::wstring& name, const std::wstring& path);
  // The tree read whole, journaled and moved, or why it was not (nothing changed then).
  std::string MoveTreeIntoBackup(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                                 std::vector<RemovedItem>& removed);
  void KeepArrivals(HANDLE top, HANDLE copyFolder, const std::wstring& copyName, const std::wstring& path,
                    const std::wstring& topCopy, const std::vector<TreeItem>& items,
                    const std::vector<JournalEntry>& entries, std::vector<RemovedItem>& removed);
  // The path is the backup folder, lies in it or above it, by its text or by the identity of
  // its folder and every folder above (another drive letter, a link on the way).
  bool InsideBackup(const std::wstring& path, bool isFolder);
  bool FolderHoldsBackup(const std::wstring& folder);
  // The journal's name of a key (by SID for a hive the run loaded) and its hive file.
  void NameKey(HKEY key, JournalEntry& entry) const;
  void NameKey(const std::wstring& internalName, JournalEntry& entry) const;
  // The key read (values and security in entry) named, exported, journaled and deleted: through
  // key where deletable, else by its name, which then answers why it stays.
  LONG KeepKey(JournalEntry& entry, HKEY key, bool deletable, HKEY base, const std::wstring& subKey, REGSAM view,
               const std::wstring& keyName);
  // The registry's own name of the key subKey below base (a single name), or empty.
  std::wstring InternalNameBelow(HKEY base, const std::wstring& subKey, const std::wstring& keyName);

  std::wstring folder_;  // extended form; empty while off
  LineSink refused_;
  LineSink noted_;
  BackupStore store_;
  DWORD openFailure_ = ERROR_SUCCESS;
  bool journalFailureSaid_ = false;
  std::wstring lastRefused_;
  FolderSecurity* security_ = &SystemFolderSecurity();
  const std::vector<UserHive>* hives_ = nullptr;
  std::optional<FileIdentity> backupIdentity_;
  std::map<std::wstring, bool> holdsBackup_;  // by folder, as the run names it
  HKEY namedBase_ = nullptr;                  // the last key whose subkeys were deleted
  std::wstring namedBaseName_;
  std::wstring namedBaseInternal_;

  // A file in use moved aside for the restart is kept before it moves, under its own name, as
  // a file left to the restart; the request for its restart that follows (by its new name, or
  // by its own where the move failed) takes that entry instead of making another.
  struct RestartKept {
    std::uint64_t number = 0;
    FileIdentity identity;
  };
  DWORD KeepRestartFile(const std::wstring& path, RestartKept& kept);
  // The kept entry when path is the file it was made for (taken, so it serves one request).
  std::optional<RestartKept> TakeRestartKept(const std::wstring& path);
  std::optional<RestartKept> restartKept_;
  // The cleaner's own folders the run made (the pending folders of the restart): scheduled or
  // removed, never kept.
  std::vector<std::wstring> pendingFolders_;
};
