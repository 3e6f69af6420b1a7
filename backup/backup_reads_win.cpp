#include <windows.h>

#include "backup/backup_reads.h"

#include <algorithm>
#include <vector>

#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/sha256.h"

namespace {
// A value that keeps growing while it is read is read at most this often.
constexpr int kReadAttempts = 4;
}  // namespace

std::uint64_t FileTimeCount(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FileFacts FactsOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {data.dwFileAttributes,
          {FileTimeCount(data.ftCreationTime), FileTimeCount(data.ftLastAccessTime), FileTimeCount(data.ftLastWriteTime)}};
}

DWORD ReadKeptFile(const std::wstring& path, bool contents, KeptFile& kept) {
  const UniqueFile file(CreateFileW(path.c_str(), READ_CONTROL | (contents ? GENERIC_READ : FILE_READ_ATTRIBUTES),
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr));
  if (!file) return GetLastError();
  return ReadKeptHandle(file.Get(), contents, kept);
}

DWORD ReadKeptHandle(HANDLE file, bool contents, KeptFile& kept) {
  HandleFacts facts;
  if (!FactsOfHandle(file, facts)) return GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_FUNCTION;
  kept.facts = {facts.attributes,
                {FileTimeCount(facts.creation), FileTimeCount(facts.lastAccess), FileTimeCount(facts.lastWrite)}};
  kept.links = facts.links;
  kept.fileId = facts.fileId;
  kept.security = HandleSecurityText(file);
  // A link is kept as itself: its target's bytes are not its own.
  if (!contents || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_SUCCESS;
  const std::uint64_t expected = facts.size;
  Sha256 hash;
  std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(expected + 1, 1 << 16)));
  kept.size = 0;
  // Read up to the size the file had when opened and one byte on, so that a small file
  // takes one read: a file that grows meanwhile is read to its end all the same.
  for (DWORD read = 0;; kept.size += read) {
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return GetLastError();
    if (read == 0) break;
    hash.Add(chunk.data(), read);
    if (read < chunk.size() && kept.size + read == expected) {
      kept.size += read;
      break;
    }
  }
  kept.sha256 = hash.HexDigest();
  return ERROR_SUCCESS;
}

FILETIME FileTimeOf(std::uint64_t count) {
  return {static_cast<DWORD>(count & 0xFFFFFFFFu), static_cast<DWORD>(count >> 32)};
}

// Every value of an open key, with its exact type and bytes.
LONG ReadSavedValues(HKEY key, std::vector<SavedValue>& values, DWORD* subKeys) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD count = 0, longestName = 0, largestData = 0;
    LONG code = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, subKeys, nullptr, nullptr, &count, &longestName,
                                 &largestData, nullptr, nullptr);
    if (code != ERROR_SUCCESS) return code;
    values.clear();
    std::wstring name(longestName + 1, L'\0');
    std::vector<BYTE> data(largestData + 1);
    for (DWORD index = 0; index < count && code == ERROR_SUCCESS; ++index) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD dataSize = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      code = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
      if (code == ERROR_SUCCESS) {
        values.push_back({name.substr(0, nameLength), type, {data.begin(), data.begin() + dataSize}});
      }
    }
    if (code == ERROR_SUCCESS || code == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (code != ERROR_MORE_DATA) return code;  // grew while it was read: read again
  }
  return ERROR_MORE_DATA;
}

LONG ReadSavedValue(HKEY key, const std::wstring& name, SavedValue& value) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD type = REG_NONE, size = 0;
    LONG code = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (code != ERROR_SUCCESS) return code;
    std::vector<BYTE> data(size);
    code = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (code == ERROR_MORE_DATA) continue;
    if (code != ERROR_SUCCESS) return code;
    data.resize(size);
    value = {name, type, std::move(data)};
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}
