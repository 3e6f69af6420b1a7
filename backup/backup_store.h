#pragma once
// The folder of one backed-up run, DIR\<yyyy-mm-dd_hh-mm-ss>: the journal, the regedit export
// of the keys and values removed, and the files folder with the moved files. Every line goes
// to the system as it is written, so a run that is killed leaves a journal that matches
// what it changed.
#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "backup/backup_folders.h"
#include "backup/backup_journal.h"
#include "platform/handles.h"

class BackupStore {
 public:
  // Makes the run's folder below `folder` (a full path in extended form; missing folders
  // above it are made too, private) with its journal and files folder: ERROR_SUCCESS or the
  // system's code, with nothing left open; ERROR_ACCESS_DENIED with `problem` set for a
  // folder the backup may not use. The run's folder stays open and cannot be renamed or
  // deleted while the store is open.
  [[nodiscard]] DWORD Open(FolderSecurity& security, const std::wstring& folder, std::string& problem);
  bool IsOpen() const { return journal_.Valid(); }
  // Ordinary form, e.g. C:\Backup\2026-12-07_15-30-00.
  std::wstring RunFolder() const;
  std::uint64_t NextNumber() { return ++lastNumber_; }
  // Where the copy of the file or folder at path (entry `number`) is to lie: below the run's
  // folder, files\<drive>\<the path as it was>, so that an administrator finds a file where
  // it lay and no backup folder holds more names than the original did (one flat folder of
  // 20,000 names makes every rename into it slower under Wine). A name placed already (the
  // same path removed twice in a run) gets the number in front. The folders on the way are
  // made, or opened, relative to the run folder's handle, each one the store made itself:
  // a link or anything else put in its place since answers ERROR_CANT_ACCESS_FILE. The
  // place's folder stays open (and cannot be renamed or deleted) until the next call.
  struct CopyPlace {
    std::wstring copyName;                 // relative to the run's folder
    HANDLE folder = INVALID_HANDLE_VALUE;  // the copy's folder, held by the store
    std::wstring name;                     // the copy's name in it
  };
  [[nodiscard]] DWORD PrepareCopy(std::uint64_t number, const std::wstring& path, CopyPlace& place);
  std::wstring FullCopyPath(const std::wstring& copyName) const { return runFolder_ + L"\\" + copyName; }
  // Folders that came into the backup whole (a tree moved with one rename) count as made by
  // the store, and the names below them as placed.
  void AdoptFolder(std::uint64_t fileId) { madeFolders_.insert(fileId); }
  void AdoptName(const std::wstring& copyName);
  // Appends the entry's line. A write that fails cuts the journal back to its last whole line
  // and breaks the journal: every later write answers the same error, so that the journal
  // never holds a line a later line continues.
  [[nodiscard]] DWORD Write(const JournalEntry& entry);
  // Appends the lines of every entry with one write, as Write does for one.
  [[nodiscard]] DWORD Write(const std::vector<JournalEntry>& entries);
  // The journal as it stands, and the same cut back to it: entries written ahead of a change
  // that was then not made at all are taken out again (their numbers too).
  struct Mark {
    std::uint64_t size = 0;
    std::uint64_t lastNumber = 0;
  };
  Mark Here() const { return {journalSize_, lastNumber_}; }
  void CutBack(const Mark& mark);
  bool Broken() const { return broken_ != ERROR_SUCCESS; }
  // Added to registry.reg, which is made with its header on first use.
  [[nodiscard]] DWORD WriteRegistryExport(const std::wstring& text);
  // Hands everything written to the disk; the files stay open for the next run's changes.
  void Flush();

 private:
  struct HeldFolder {
    std::wstring name;
    UniqueFile handle;
  };
  // Holds the folders of files\ named by components, from files\ down, making those missing.
  [[nodiscard]] DWORD HoldCopyFolder(const std::vector<std::wstring>& components);
  bool MadeByStore(HANDLE folder) const;
  [[nodiscard]] DWORD Append(const std::string& lines);

  std::wstring runFolder_;  // extended form
  UniqueFile runHandle_;
  std::uint32_t runVolume_ = 0;
  UniqueFile journal_;
  std::uint64_t journalSize_ = 0;
  DWORD broken_ = ERROR_SUCCESS;
  UniqueFile registryExport_;
  std::uint64_t lastNumber_ = 0;
  std::vector<HeldFolder> chain_;              // files\ and the folders of the last copy's place
  std::unordered_set<std::uint64_t> madeFolders_;  // file IDs, on the run folder's volume
  std::unordered_set<std::wstring> placedNames_;   // copy names, upper-cased
};

// Copies the file at path (another volume) to the new file `name` in the folder open as
// folder, with its attributes and times, and reads the copy back: ERROR_SUCCESS once it is
// equal, else the system's code (ERROR_CRC for a copy that differs), the copy removed.
[[nodiscard]] DWORD CopyIntoFolder(const std::wstring& path, HANDLE folder, const std::wstring& name);
