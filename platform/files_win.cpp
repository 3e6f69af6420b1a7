#include "platform/files.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {
// The text of a fixed-size name field up to its NUL, never beyond the field.
std::string FieldText(const char* field, std::size_t capacity) {
  return std::string(field, strnlen(field, capacity));
}

// GetWindowsDirectoryA and GetSystemDirectoryA answer the size they need when the buffer
// is too small: the call is repeated with that size, so a long name is never cut.
template <typename Call>
std::string FolderFromCall(Call call) {
  std::vector<char> buffer(255);
  for (;;) {
    const UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.assign(length + 1, '\0');
  }
}
}  // namespace

bool IsExistingFile(const std::string& path) {
  WIN32_FIND_DATAA data{};
  const UniqueFind find(FindFirstFileA(path.c_str(), &data));
  return find.Valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFileWide(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const UniqueFind find(FindFirstFileW(path.c_str(), &data));
  return find.Valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The search starts in the body: data_ is initialised after find_ and would wipe the
// first entry if the search started in find_'s initialiser.
FolderEnumeration::FolderEnumeration(const std::string& pattern) {
  find_.Reset(FindFirstFileA(pattern.c_str(), &data_));
  pending_ = find_.Valid();
}

bool FolderEnumeration::Next(DirectoryEntry& entry) {
  if (!pending_) return false;
  entry.name = FieldText(data_.cFileName, sizeof data_.cFileName);
  entry.attributes = data_.dwFileAttributes;
  pending_ = FindNextFileA(find_.Get(), &data_) != 0;
  return true;
}

std::string WindowsFolder() {
  return FolderFromCall([](char* buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); });
}

std::string SystemFolder() {
  return FolderFromCall([](char* buffer, UINT size) { return GetSystemDirectoryA(buffer, size); });
}

// GetModuleFileNameA fills the whole buffer when the path does not fit; then the buffer
// is doubled, so the path is never cut. Windows paths end below 32768 characters.
std::string ProgramPath() {
  std::vector<char> buffer(261);
  while (buffer.size() <= 65536) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.assign(buffer.size() * 2, '\0');
  }
  return std::string();
}

std::string CommandLineText() {
  const char* text = GetCommandLineA();
  return text ? std::string(text) : std::string();
}

std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}
