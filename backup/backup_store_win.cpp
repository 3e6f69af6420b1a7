#include <windows.h>

#include "backup/backup_store.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "backup/registry_export.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"

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
UniqueFile CreateNewFile(const std::wstring& path, DWORD moreAccess = 0) {
  return UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE | moreAccess, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// What the store's folders are held open for: to list them, make folders and files in them,
// and reach what is below them.
constexpr DWORD kHeldFolderAccess =
    FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

std::wstring UpperCased(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
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
  // Everything below it is reached through this handle.
  UniqueFile runHandle(CreateFileW(run.c_str(), kHeldFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!runHandle || !GetFileInformationByHandle(runHandle.Get(), &info)) return GetLastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  UniqueFile files;
  if (const DWORD made = CreateChildFolderWithSecurity(runHandle.Get(), kBackupFilesFolderName, kPrivateFolderSecurity,
                                                       kHeldFolderAccess, files);
      made != ERROR_SUCCESS) {
    return made;
  }
  UniqueFile journal = CreateNewFile(run + L"\\" + WideFromAnsi(kJournalFileName), WRITE_DAC | WRITE_OWNER);
  if (!journal) return GetLastError();
  // Owned by Administrators whoever the system makes the owner of what an administrator
  // creates (the account itself, by a policy): undo trusts no journal the account owns.
  if (const DWORD error = SetHandleSecurityText(journal.Get(), kPrivateFileSecurity); error != ERROR_SUCCESS) {
    return error;
  }
  const std::string header = std::string(kJournalHeader) + "\n";
  if (const DWORD error = WriteAll(journal.Get(), header.data(), header.size()); error != ERROR_SUCCESS) return error;
  runFolder_ = run;
  runHandle_ = std::move(runHandle);
  runVolume_ = info.dwVolumeSerialNumber;
  chain_.clear();
  chain_.push_back({kBackupFilesFolderName, std::move(files)});
  journal_ = std::move(journal);
  journalSize_ = header.size();
  return ERROR_SUCCESS;
}

std::wstring BackupStore::RunFolder() const { return OrdinaryPath(runFolder_); }

void BackupStore::AdoptName(const std::wstring& copyName) { placedNames_.insert(UpperCased(copyName)); }

bool BackupStore::MadeByStore(HANDLE folder) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(folder, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  const std::uint64_t fileId = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return info.dwVolumeSerialNumber == runVolume_ && madeFolders_.contains(fileId);
}

DWORD BackupStore::HoldCopyFolder(const std::vector<std::wstring>& components) {
  // The copies of one folder come one after another: the folders held for the last one serve
  // as far as the two paths agree.
  std::size_t kept = 1;
  while (kept < chain_.size() && kept - 1 < components.size() && chain_[kept].name == components[kept - 1]) ++kept;
  chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(kept), chain_.end());
  for (std::size_t index = kept - 1; index < components.size(); ++index) {
    UniqueFile next;
    DWORD error = HoldChildFolder(chain_.back().handle.Get(), components[index], kHeldFolderAccess, true, next);
    if (error == ERROR_SUCCESS) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (!GetFileInformationByHandle(next.Get(), &info)) return GetLastError();
      madeFolders_.insert((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
    } else if (error == ERROR_ALREADY_EXISTS) {
      // Made earlier in the run, or put there by someone else: only the first is used.
      error = HoldChildFolder(chain_.back().handle.Get(), components[index], kHeldFolderAccess, false, next);
      if (error == ERROR_SUCCESS && !MadeByStore(next.Get())) error = ERROR_CANT_ACCESS_FILE;
    }
    if (error != ERROR_SUCCESS) return error;
    chain_.push_back({components[index], std::move(next)});
  }
  return ERROR_SUCCESS;
}

DWORD BackupStore::PrepareCopy(std::uint64_t number, const std::wstring& path, CopyPlace& place) {
  if (chain_.empty()) return ERROR_INVALID_HANDLE;
  const std::wstring ordinary = OrdinaryPath(path);
  const std::size_t cut = ordinary.find_last_of(L'\\');
  place.name = cut == std::wstring::npos ? ordinary : ordinary.substr(cut + 1);
  // "C:\x\y" lies below files\C\x; any other form (never given by the engine) flat in files.
  std::vector<std::wstring> components;
  if (cut != std::wstring::npos && ordinary.size() > 3 && ordinary[1] == L':' && ordinary[2] == L'\\') {
    components.push_back(ordinary.substr(0, 1));
    for (std::size_t start = 3; start < cut;) {
      const std::size_t end = ordinary.find(L'\\', start);
      components.push_back(ordinary.substr(start, end - start));
      start = end + 1;
    }
  }
  if (const DWORD error = HoldCopyFolder(components); error != ERROR_SUCCESS) return error;
  std::wstring folder = kBackupFilesFolderName;
  for (const std::wstring& component : components) folder += L"\\" + component;
  if (placedNames_.contains(UpperCased(folder + L"\\" + place.name))) place.name = std::to_wstring(number) + L"_" + place.name;
  place.copyName = folder + L"\\" + place.name;
  place.folder = chain_.back().handle.Get();
  AdoptName(place.copyName);
  return ERROR_SUCCESS;
}

DWORD BackupStore::Append(const std::string& lines) {
  if (!journal_) return ERROR_INVALID_HANDLE;
  if (broken_ != ERROR_SUCCESS) return broken_;
  const DWORD error = WriteAll(journal_.Get(), lines.data(), lines.size());
  if (error == ERROR_SUCCESS) {
    journalSize_ += lines.size();
    return ERROR_SUCCESS;
  }
  // Part of the lines may have reached the file: cut it away, so that the journal ends with
  // its last whole line whatever the disk does next.
  broken_ = error;
  CutBack(Here());
  return error;
}

DWORD BackupStore::Write(const JournalEntry& entry) { return Append(JournalLine(entry) + "\n"); }

DWORD BackupStore::Write(const std::vector<JournalEntry>& entries) {
  std::string lines;
  for (const JournalEntry& entry : entries) lines += JournalLine(entry) + "\n";
  return Append(lines);
}

void BackupStore::CutBack(const Mark& mark) {
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(mark.size);
  if (SetFilePointerEx(journal_.Get(), end, nullptr, FILE_BEGIN)) (void)SetEndOfFile(journal_.Get());
  journalSize_ = mark.size;
  lastNumber_ = mark.lastNumber;
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

namespace {

constexpr DWORD kCopyChunk = 1 << 16;

DWORD ReadChunk(HANDLE file, std::vector<char>& chunk, DWORD& read) {
  return ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) ? ERROR_SUCCESS : GetLastError();
}

DWORD FillCopy(HANDLE source, HANDLE copy) {
  std::vector<char> chunk(kCopyChunk);
  for (DWORD read = 0;;) {
    if (const DWORD error = ReadChunk(source, chunk, read); error != ERROR_SUCCESS) return error;
    if (read == 0) return ERROR_SUCCESS;
    if (const DWORD error = WriteAll(copy, chunk.data(), read); error != ERROR_SUCCESS) return error;
  }
}

// The original's attributes and times on the copy, set last: a read-only copy could no longer
// be removed through its handle.
DWORD CopyFacts(HANDLE source, HANDLE copy) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(source, &info)) return GetLastError();
  FILE_BASIC_INFO basic{};
  basic.CreationTime.LowPart = info.ftCreationTime.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(info.ftCreationTime.dwHighDateTime);
  basic.LastAccessTime.LowPart = info.ftLastAccessTime.dwLowDateTime;
  basic.LastAccessTime.HighPart = static_cast<LONG>(info.ftLastAccessTime.dwHighDateTime);
  basic.LastWriteTime.LowPart = info.ftLastWriteTime.dwLowDateTime;
  basic.LastWriteTime.HighPart = static_cast<LONG>(info.ftLastWriteTime.dwHighDateTime);
  basic.FileAttributes = info.dwFileAttributes;
  return SetFileInformationByHandle(copy, FileBasicInfo, &basic, sizeof(basic)) ? ERROR_SUCCESS : GetLastError();
}

// A copy counts only once its bytes were read back and found equal to the original's.
DWORD SameContents(HANDLE source, HANDLE copy) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(copy, start, nullptr, FILE_BEGIN)) {
    return GetLastError();
  }
  std::vector<char> left(kCopyChunk), right(kCopyChunk);
  for (;;) {
    DWORD readLeft = 0, readRight = 0;
    if (const DWORD error = ReadChunk(source, left, readLeft); error != ERROR_SUCCESS) return error;
    if (const DWORD error = ReadChunk(copy, right, readRight); error != ERROR_SUCCESS) return error;
    if (readLeft != readRight || !std::equal(left.begin(), left.begin() + readLeft, right.begin())) return ERROR_CRC;
    if (readLeft == 0) return ERROR_SUCCESS;
  }
}

}  // namespace

DWORD CopyIntoFolder(const std::wstring& path, HANDLE folder, const std::wstring& name) {
  const UniqueFile source(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                      nullptr));
  if (!source) return GetLastError();
  UniqueFile copy;
  if (const DWORD error = CreateChildFile(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES, copy);
      error != ERROR_SUCCESS) {
    return error;
  }
  DWORD error = FillCopy(source.Get(), copy.Get());
  if (error == ERROR_SUCCESS) error = SameContents(source.Get(), copy.Get());
  if (error == ERROR_SUCCESS) error = CopyFacts(source.Get(), copy.Get());
  if (error != ERROR_SUCCESS) {
    // A part-copy left by a full disk is no backup: it goes through its own handle.
    FILE_DISPOSITION_INFO disposition{TRUE};
    (void)SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
  }
  return error;
}
