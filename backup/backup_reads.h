#pragma once
// The reads a backup is made of and undo compares with: a file's attributes and times, a
// registry value's type and bytes, exactly as stored.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_journal.h"

// What a file's backup keeps besides its bytes; attributes INVALID_FILE_ATTRIBUTES when the
// file could not be read.
struct FileFacts {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  SavedTimes times;
};

FileFacts FactsOf(const std::wstring& path);

// What a backup records of a file it keeps, read through one handle of the file itself (a
// link is not followed): its facts, security descriptor and, where asked for, its size and
// SHA-256.
struct KeptFile {
  FileFacts facts;
  std::wstring security;
  std::uint64_t size = 0;
  std::string sha256;
  DWORD links = 0;       // its count of names
  ULONGLONG fileId = 0;  // its file ID on its volume
};
// ERROR_SUCCESS or the system's code.
[[nodiscard]] DWORD ReadKeptFile(const std::wstring& path, bool contents, KeptFile& kept);
// The same through a handle open with READ_CONTROL and, for the contents, GENERIC_READ.
[[nodiscard]] DWORD ReadKeptHandle(HANDLE file, bool contents, KeptFile& kept);

// FILETIME as one count of 100 ns, and back.
std::uint64_t FileTimeCount(const FILETIME& time);
FILETIME FileTimeOf(std::uint64_t count);

// One value, or every value of an open key, with its exact type and bytes; a value that grows
// while it is read is read again. ERROR_SUCCESS or the system's code.
LONG ReadSavedValue(HKEY key, const std::wstring& name, SavedValue& value);
// subKeys, where given, gets the key's count of subkeys from the same question.
LONG ReadSavedValues(HKEY key, std::vector<SavedValue>& values, DWORD* subKeys = nullptr);
