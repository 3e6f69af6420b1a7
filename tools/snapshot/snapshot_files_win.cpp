#include <algorithm>
#include <vector>

#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tools/snapshot/snapshot_walk.h"

namespace {

// Files up to this size are hashed whole; a larger one is told apart by size and times
// (installers write such files once and do not rewrite them in place).
constexpr ULONGLONG kHashedUpTo = 32ULL * 1024 * 1024;
constexpr DWORD kReadChunk = 256 * 1024;

std::wstring Upper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return out;
}

bool IsWithinWide(std::wstring_view path, std::wstring_view folder) {
  return path.size() >= folder.size() && path.substr(0, folder.size()) == folder &&
         (path.size() == folder.size() || path[folder.size()] == L'\\');
}

std::uint64_t Count(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t Count(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// "\\?\" lets paths longer than MAX_PATH be read.
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

std::string HashOfFile(const std::wstring& path, std::uint64_t size, std::vector<char>& buffer) {
  if (size > kHashedUpTo) return "-";
  UniqueFile file(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return "-";
  DataHash hash;
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    hash.Add(buffer.data(), got);
  }
  return hash.Hex();
}

struct Entry {
  std::string utf8;
  std::wstring wide;
  WIN32_FIND_DATAW data;
};

class FolderWalk {
 public:
  FolderWalk(const std::vector<FolderPlace>& places, SnapshotWriter& writer) : writer_(writer), buffer_(kReadChunk) {
    for (const FolderPlace& place : places) places_.push_back({Upper(place.path), place.wholeTree});
  }

  // path: a folder; attributes as found in its parent; parentOneLevel: its parent is a
  // one-level place, so the folder is recorded without what it holds.
  void Visit(const std::wstring& path, DWORD attributes, bool parentOneLevel) {
    const std::wstring upper = Upper(path);
    bool whole = false, oneLevel = false, ancestor = false;
    for (const auto& [place, wholeTree] : places_) {
      if (wholeTree && IsWithinWide(upper, place)) whole = true;
      if (!wholeTree && upper == place) oneLevel = true;
      if (upper != place && IsWithinWide(place, upper)) ancestor = true;
    }
    const bool recorded = whole || oneLevel || parentOneLevel;
    if (!recorded && !ancestor) return;
    const std::string name = Utf8FromWide(path);
    if (recorded) writer_.Record({RecordKind::Directory, name, {}, std::to_string(attributes)});
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return;  // a link: its target is elsewhere
    const bool lists = whole || oneLevel;
    if (!lists && !ancestor) return;

    std::vector<Entry> files;
    std::vector<Entry> folders;
    WIN32_FIND_DATAW found;
    UniqueFind find(FindFirstFileExW(Extended(path + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return;
    do {
      const std::wstring_view child = found.cFileName;
      if (child == L"." || child == L"..") continue;
      Entry entry{Utf8FromWide(child), std::wstring(child), found};
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(std::move(entry));
      } else if (lists) {
        files.push_back(std::move(entry));
      }
    } while (FindNextFileW(find.Get(), &found));
    find.Reset();
    auto byName = [](const Entry& a, const Entry& b) { return CompareNames(a.utf8, b.utf8) < 0; };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    for (const Entry& file : files) {
      const std::uint64_t size = Count(file.data.nFileSizeHigh, file.data.nFileSizeLow);
      writer_.Record({RecordKind::File, name, file.utf8,
                      std::to_string(size) + "\t" + std::to_string(file.data.dwFileAttributes) + "\t" +
                          std::to_string(Count(file.data.ftCreationTime)) + "\t" +
                          std::to_string(Count(file.data.ftLastWriteTime)) + "\t" +
                          HashOfFile(path + L"\\" + file.wide, size, buffer_)});
    }
    files.clear();
    files.shrink_to_fit();
    for (const Entry& folder : folders) Visit(path + L"\\" + folder.wide, folder.data.dwFileAttributes, oneLevel && !whole);
  }

 private:
  SnapshotWriter& writer_;
  std::vector<char> buffer_;
  std::vector<std::pair<std::wstring, bool>> places_;
};

}  // namespace

void WalkFolders(const std::vector<FolderPlace>& places, SnapshotWriter& writer) {
  std::vector<std::wstring> drives;
  for (const FolderPlace& place : places) {
    if (place.path.size() < 2 || place.path[1] != L':') continue;
    const std::wstring drive = Upper(place.path.substr(0, 2));
    if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
  }
  std::sort(drives.begin(), drives.end());
  FolderWalk walk(places, writer);
  for (const std::wstring& drive : drives) walk.Visit(drive, FILE_ATTRIBUTE_DIRECTORY, false);
}

namespace {

template <typename Function>
Function KernelFunction(const char* name) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

std::wstring SystemWow64Folder() {
  using Query = UINT(WINAPI*)(LPWSTR, UINT);
  static const Query query = KernelFunction<Query>("GetSystemWow64DirectoryW");
  if (!query) return {};
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = query(buffer, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

FileSystemRedirectionOff::FileSystemRedirectionOff() {
  using Disable = BOOL(WINAPI*)(PVOID*);
  static const Disable disable = KernelFunction<Disable>("Wow64DisableWow64FsRedirection");
  BOOL wow64 = FALSE;
  off_ = disable && IsWow64Process(GetCurrentProcess(), &wow64) && wow64 && disable(&previous_);
}

FileSystemRedirectionOff::~FileSystemRedirectionOff() {
  using Revert = BOOL(WINAPI*)(PVOID);
  static const Revert revert = KernelFunction<Revert>("Wow64RevertWow64FsRedirection");
  if (off_ && revert) revert(previous_);
}
