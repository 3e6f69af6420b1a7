#include "platform/files/files.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "platform/files/files_paths.h"
#include "platform/text/wide_text.h"

namespace {
// Beyond MAX_PATH only the extended form reaches a full path.
std::wstring ReachableForm(const std::wstring& path) {
  return path.size() >= MAX_PATH && IsFullPath(path) ? ExtendedPath(path) : path;
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

bool IsExistingFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsExistingFileWide(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const UniqueFind find(FindFirstFileW(ReachableForm(path).c_str(), &data));
  return find.Valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolderWide(const std::wstring& path) {
  const DWORD attributes = AttributesWide(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

DWORD AttributesWide(const std::wstring& path) { return GetFileAttributesW(ReachableForm(path).c_str()); }

std::wstring FullPathWide(const std::wstring& path) {
  if (path.empty()) return {};
  std::wstring out(MAX_PATH, L'\0');
  for (;;) {
    const DWORD used = GetFullPathNameW(path.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr);
    if (used == 0) return {};
    if (used < out.size()) {
      out.resize(used);
      return out;
    }
    out.assign(used, L'\0');  // the size it needs, its NUL included
  }
}

// The search starts in the body: data_ is initialised after find_ and would wipe the
// first entry if the search started in find_'s initialiser. Windows before 7 knows neither
// the basic information level nor the large fetch and refuses them as a bad parameter.
FolderEnumeration::FolderEnumeration(const std::wstring& folder) {
  const std::wstring pattern = ReachableForm(folder + L"\\*");
  find_.Reset(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data_, FindExSearchNameMatch, nullptr,
                               FIND_FIRST_EX_LARGE_FETCH));
  if (!find_ && GetLastError() == ERROR_INVALID_PARAMETER) {
    find_.Reset(FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data_, FindExSearchNameMatch, nullptr, 0));
  }
  pending_ = find_.Valid();
}

bool FolderEnumeration::Next(DirectoryEntry& entry) {
  if (!pending_) return false;
  entry.name.assign(data_.cFileName, wcsnlen(data_.cFileName, MAX_PATH));
  entry.attributes = data_.dwFileAttributes;
  pending_ = FindNextFileW(find_.Get(), &data_) != 0;
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
  const wchar_t* text = GetCommandLineW();
  return text ? Utf8FromWide(text) : std::string();
}

std::wstring ExpandedEnvironmentText(const std::wstring& text) {
  const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::wstring out(size, L'\0');
  const DWORD used = ExpandEnvironmentStringsW(text.c_str(), out.data(), size);
  if (used == 0 || used > size) return text;
  out.resize(used - 1);
  return out;
}
