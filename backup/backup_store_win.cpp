#include <windows.h>

#include "backup/backup_store.h"

#include <cstdio>
#include <vector>

#include "backup/registry_export.h"
#include "platform/files_paths.h"
#include "platform/security_descriptor.h"
#include "platform/wide_text.h"

namespace {

DWORD Outcome(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

DWORD WriteAll(HANDLE file, const void* bytes, std::size_t size) {
  DWORD written = 0;
  if (!WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr)) return GetLastError();
  return written == size ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

DWORD WriteWide(HANDLE file, const std::wstring& text) {
  return WriteAll(file, text.data(), text.size() * sizeof(wchar_t));
}

// Appends through to the system: no buffer of this process holds a line back.
UniqueFile CreateNewFile(const std::wstring& path) {
  return UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring StampOfNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02u_%02u-%02u-%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  return text;
}

}  // namespace

DWORD MakeFolderPath(const std::wstring& folder, const std::wstring& top) {
  // Up to the first folder that exists, then down again making each: a loop, since a path of
  // thousands of levels is possible. The first that exists must be no link: a folder the
  // run made, or one made before and checked then.
  std::size_t end = folder.size();
  std::vector<std::size_t> missing;
  for (;;) {
    const std::wstring level = folder.substr(0, end);
    const DWORD attributes = GetFileAttributesW(level.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
      break;
    }
    missing.push_back(end);
    const std::size_t cut = folder.find_last_of(L'\\', end - 1);
    if (cut == std::wstring::npos || cut <= top.size()) break;
    end = cut;
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    const std::wstring made = folder.substr(0, *level);
    if (!CreateDirectoryW(made.c_str(), nullptr)) return GetLastError();  // one that appeared meanwhile is not ours
  }
  return ERROR_SUCCESS;
}

DWORD BackupStore::Open(FolderSecurity& security, const std::wstring& folder, std::string& problem) {
  if (const DWORD error = MakePrivateFolder(security, folder, problem); error != ERROR_SUCCESS) return error;
  // Two runs within one second get folders of their own.
  std::wstring run = folder + L"\\" + StampOfNow();
  const std::wstring stamped = run;
  for (int second = 2;; ++second) {
    const DWORD made = CreateFolderWithSecurity(run, kPrivateFolderSecurity);
    if (made == ERROR_SUCCESS) break;
    if (made != ERROR_ALREADY_EXISTS || second > 99) return made;
    run = stamped + L"_" + std::to_wstring(second);
  }
  // Held without sharing deletion: the folder cannot be renamed or replaced while the run lasts.
  UniqueFile runHandle(CreateFileW(run.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!runHandle || !GetFileInformationByHandle(runHandle.Get(), &info)) return GetLastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  const std::wstring files = run + L"\\" + kBackupFilesFolderName;
  if (const DWORD made = CreateFolderWithSecurity(files, kPrivateFolderSecurity); made != ERROR_SUCCESS) return made;
  UniqueFile journal = CreateNewFile(run + L"\\" + WideFromAnsi(kJournalFileName));
  if (!journal) return GetLastError();
  const std::string header = std::string(kJournalHeader) + "\n";
  if (const DWORD error = WriteAll(journal.Get(), header.data(), header.size()); error != ERROR_SUCCESS) return error;
  runFolder_ = run;
  runHandle_ = std::move(runHandle);
  journal_ = std::move(journal);
  journalSize_ = header.size();
  return ERROR_SUCCESS;
}

std::wstring BackupStore::RunFolder() const { return OrdinaryPath(runFolder_); }

DWORD BackupStore::PrepareCopy(std::uint64_t number, const std::wstring& path, std::wstring& copyName) {
  const std::wstring ordinary = OrdinaryPath(path);
  const std::size_t cut = ordinary.find_last_of(L'\\');
  const std::wstring name = cut == std::wstring::npos ? ordinary : ordinary.substr(cut + 1);
  std::wstring folder = kBackupFilesFolderName;
  // "C:\x\y" lies below files\C\x; any other form (never given by the engine) flat in files.
  if (cut != std::wstring::npos && ordinary.size() > 3 && ordinary[1] == L':' && ordinary[2] == L'\\') {
    folder += L"\\" + ordinary.substr(0, 1) + (cut > 2 ? ordinary.substr(2, cut - 2) : std::wstring());
  }
  const std::wstring fullFolder = FullCopyPath(folder);
  if (fullFolder != lastMadeFolder_) {
    if (const DWORD error = MakeFolderPath(fullFolder, FullCopyPath(kBackupFilesFolderName)); error != ERROR_SUCCESS) {
      return error;
    }
    lastMadeFolder_ = fullFolder;
  }
  copyName = folder + L"\\" + name;
  if (GetFileAttributesW(FullCopyPath(copyName).c_str()) != INVALID_FILE_ATTRIBUTES) {
    copyName = folder + L"\\" + std::to_wstring(number) + L"_" + name;
  }
  return ERROR_SUCCESS;
}

DWORD BackupStore::Write(const JournalEntry& entry) {
  if (!journal_) return ERROR_INVALID_HANDLE;
  if (broken_ != ERROR_SUCCESS) return broken_;
  const std::string line = JournalLine(entry) + "\n";
  const DWORD error = WriteAll(journal_.Get(), line.data(), line.size());
  if (error == ERROR_SUCCESS) {
    journalSize_ += line.size();
    return ERROR_SUCCESS;
  }
  // Part of the line may have reached the file: cut it away, so that the journal ends with
  // its last whole line whatever the disk does next.
  broken_ = error;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(journalSize_);
  if (SetFilePointerEx(journal_.Get(), end, nullptr, FILE_BEGIN)) (void)SetEndOfFile(journal_.Get());
  return error;
}

DWORD BackupStore::WriteRegistryExport(const std::wstring& text) {
  if (!registryExport_) {
    UniqueFile file = CreateNewFile(runFolder_ + L"\\" + WideFromAnsi(kRegistryExportFileName));
    if (!file) return GetLastError();
    const std::wstring start = std::wstring(1, wchar_t{0xFEFF}) + RegistryExportHeader();
    if (const DWORD error = WriteWide(file.Get(), start); error != ERROR_SUCCESS) return error;
    registryExport_ = std::move(file);
  }
  return WriteWide(registryExport_.Get(), text);
}

void BackupStore::Flush() {
  if (journal_) (void)Outcome(FlushFileBuffers(journal_.Get()));
  if (registryExport_) (void)Outcome(FlushFileBuffers(registryExport_.Get()));
}
