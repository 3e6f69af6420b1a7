#include <windows.h>

#include "backup/backup_store.h"

#include <cstdio>
#include <vector>

#include "backup/registry_export.h"
#include "platform/files_paths.h"
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

DWORD MakeFolderPath(const std::wstring& folder) {
  // Up to the first folder that exists, then down again making each: a loop, since a path of
  // thousands of levels is possible.
  std::size_t end = folder.size();
  std::vector<std::size_t> missing;
  for (;;) {
    const DWORD attributes = GetFileAttributesW(folder.substr(0, end).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
      break;
    }
    missing.push_back(end);
    const std::size_t cut = folder.find_last_of(L'\\', end - 1);
    // A drive ("C:", "\\?\C:") or the start: nothing above to make.
    if (cut == std::wstring::npos || cut == 0 || folder[cut - 1] == L':' || folder[cut - 1] == L'?') break;
    end = cut;
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (!CreateDirectoryW(folder.substr(0, *level).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return GetLastError();
    }
  }
  return ERROR_SUCCESS;
}

DWORD BackupStore::Open(const std::wstring& folder) {
  if (const DWORD error = MakeFolderPath(folder); error != ERROR_SUCCESS) return error;
  // Two runs within one second get folders of their own.
  std::wstring run = folder + L"\\" + StampOfNow();
  const std::wstring stamped = run;
  for (int second = 2; !CreateDirectoryW(run.c_str(), nullptr); ++second) {
    if (GetLastError() != ERROR_ALREADY_EXISTS || second > 99) return GetLastError();
    run = stamped + L"_" + std::to_wstring(second);
  }
  if (!CreateDirectoryW((run + L"\\" + kBackupFilesFolderName).c_str(), nullptr)) return GetLastError();
  UniqueFile journal = CreateNewFile(run + L"\\" + WideFromAnsi(kJournalFileName));
  if (!journal) return GetLastError();
  const std::string header = std::string(kJournalHeader) + "\n";
  if (const DWORD error = WriteAll(journal.Get(), header.data(), header.size()); error != ERROR_SUCCESS) return error;
  runFolder_ = run;
  journal_ = std::move(journal);
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
    if (const DWORD error = MakeFolderPath(fullFolder); error != ERROR_SUCCESS) return error;
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
  const std::string line = JournalLine(entry) + "\n";
  return WriteAll(journal_.Get(), line.data(), line.size());
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
