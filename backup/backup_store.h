#pragma once
// The folder of one backed-up run, DIR\<yyyy-mm-dd_hh-mm-ss>: the journal, the regedit export
// of the keys and values removed, and the files folder with the moved files. Every line goes
// to the system as it is written, so a run that is killed leaves a journal that matches
// what it changed.
#include <windows.h>

#include <cstdint>
#include <string>

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
  // Where the copy of the file at path (entry `number`) is to lie, relative to the run's
  // folder, with the folders above it made: files\<drive>\<the path as it was>, so that an
  // administrator finds a file where it lay and no backup folder holds more names than the
  // original did (one flat folder of 20,000 names makes every rename into it slower under
  // Wine). A name taken already (the same path removed twice in a run) gets the number in
  // front. ERROR_SUCCESS or why the folders could not be made.
  [[nodiscard]] DWORD PrepareCopy(std::uint64_t number, const std::wstring& path, std::wstring& copyName);
  std::wstring FullCopyPath(const std::wstring& copyName) const { return runFolder_ + L"\\" + copyName; }
  // Appends the entry's line. A write that fails cuts the journal back to its last whole line
  // and breaks the journal: every later write answers the same error, so that the journal
  // never holds a line a later line continues.
  [[nodiscard]] DWORD Write(const JournalEntry& entry);
  bool Broken() const { return broken_ != ERROR_SUCCESS; }
  // Added to registry.reg, which is made with its header on first use.
  [[nodiscard]] DWORD WriteRegistryExport(const std::wstring& text);
  // Hands everything written to the disk; the files stay open for the next run's changes.
  void Flush();

 private:
  std::wstring runFolder_;  // extended form
  UniqueFile runHandle_;
  UniqueFile journal_;
  std::uint64_t journalSize_ = 0;
  DWORD broken_ = ERROR_SUCCESS;
  UniqueFile registryExport_;
  std::uint64_t lastNumber_ = 0;
  std::wstring lastMadeFolder_;  // files of one folder come one after another
};

// A folder made with every missing folder above it, below `top`, none of them a link:
// ERROR_SUCCESS when it exists afterwards.
[[nodiscard]] DWORD MakeFolderPath(const std::wstring& folder, const std::wstring& top);
