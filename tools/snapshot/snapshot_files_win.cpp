#include <algorithm>
#include <vector>

#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tools/snapshot/snapshot_walk.h"

namespace {

// Files up to this size are hashed whole where they are read; a larger one is told apart by
// size and times (installers write such files once and do not rewrite them in place).
constexpr ULONGLONG kHashedUpTo = 32ULL * 1024 * 1024;
constexpr DWORD kReadChunk = 256 * 1024;
constexpr DWORD kListChunk = 64 * 1024;

template <typename Function>
Function KernelFunction(const char* name) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

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

std::uint64_t Count(const LARGE_INTEGER& value) { return static_cast<std::uint64_t>(value.QuadPart); }

// "\\?\" lets paths longer than MAX_PATH be read.
std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

// Read in pieces of the buffer's size: memory stays the same whatever the file's size.
std::string HashOfFile(const std::wstring& path, std::uint64_t size, std::vector<char>& buffer) {
  if (size > kHashedUpTo) return {};
  UniqueFile file(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return {};
  DataHash hash;
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    hash.Add(buffer.data(), got);
  }
  return hash.Hex();
}

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return out;
}

struct Entry {
  std::string utf8;
  std::wstring wide;
  DWORD attributes = 0;
  std::uint64_t size = 0, created = 0, written = 0;
  std::uint64_t fileId = 0, changed = 0;  // 0 where the listing gives none
};

using ListByHandleCall = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// The folder listed through its handle, with each entry's file ID and change time (Vista and
// later). False where the system offers no such listing or the folder does not list so.
bool ListWithIdentity(const std::wstring& path, std::vector<char>& buffer, std::vector<Entry>& entries) {
  static const ListByHandleCall list = KernelFunction<ListByHandleCall>("GetFileInformationByHandleEx");
  if (!list) return false;
  // A drive root is opened with its backslash: "\\?\C:" would be the volume itself.
  const std::wstring opened = path.size() == 2 && path[1] == L':' ? path + L"\\" : path;
  const UniqueFile folder(CreateFileW(Extended(opened).c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return false;
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!list(folder.Get(), kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      return GetLastError() == ERROR_NO_MORE_FILES;
    }
    for (std::size_t offset = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries.push_back({Utf8FromWide(name), std::wstring(name), info->FileAttributes, Count(info->EndOfFile),
                           Count(info->CreationTime), Count(info->LastWriteTime), Count(info->FileId),
                           Count(info->ChangeTime)});
      }
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
}

// The folder listed by name, as every Windows lists it: no file ID, no change time.
void ListByFind(const std::wstring& path, std::vector<Entry>& entries) {
  WIN32_FIND_DATAW found;
  UniqueFind find(FindFirstFileExW(Extended(path + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({Utf8FromWide(name), std::wstring(name), found.dwFileAttributes,
                       Count(found.nFileSizeHigh, found.nFileSizeLow), Count(found.ftCreationTime),
                       Count(found.ftLastWriteTime), 0, 0});
  } while (FindNextFileW(find.Get(), &found));
}

class FolderWalk {
 public:
  FolderWalk(const std::vector<FolderPlace>& places, SnapshotWriter& writer, bool readContent)
      : writer_(writer), buffer_(kReadChunk), listing_(kListChunk), readContent_(readContent) {
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

    std::vector<Entry> entries;
    if (!ListWithIdentity(path, listing_, entries)) {
      entries.clear();
      ListByFind(path, entries);
    }
    std::vector<Entry> files;
    std::vector<Entry> folders;
    for (Entry& entry : entries) {
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        folders.push_back(std::move(entry));
      } else if (lists) {
        files.push_back(std::move(entry));
      }
    }
    entries.clear();
    entries.shrink_to_fit();
    auto byName = [](const Entry& a, const Entry& b) { return CompareNames(a.utf8, b.utf8) < 0; };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    for (const Entry& file : files) {
      writer_.Record({RecordKind::File, name, file.utf8,
                      std::to_string(file.size) + "\t" + std::to_string(file.attributes) + "\t" +
                          std::to_string(file.created) + "\t" + std::to_string(file.written) + "\t" +
                          FormatFileContent(ContentOf(path + L"\\" + file.wide, file))});
    }
    files.clear();
    files.shrink_to_fit();
    for (const Entry& folder : folders) Visit(path + L"\\" + folder.wide, folder.attributes, oneLevel && !whole);
  }

 private:
  // A file's content is read only where its file ID and change time cannot tell a change
  // (a file system that keeps none), or when every file's content is asked for.
  FileContentFacts ContentOf(const std::wstring& path, const Entry& file) {
    FileContentFacts facts;
    const bool identified = file.fileId != 0 && file.changed != 0;
    if (identified) facts.identity = Hex(file.fileId) + "." + Hex(file.changed);
    if (readContent_ || !identified) facts.hash = HashOfFile(path, file.size, buffer_);
    return facts;
  }

  SnapshotWriter& writer_;
  std::vector<char> buffer_;
  std::vector<char> listing_;
  bool readContent_;
  std::vector<std::pair<std::wstring, bool>> places_;
};

}  // namespace

void WalkFolders(const std::vector<FolderPlace>& places, SnapshotWriter& writer, bool readContent) {
  std::vector<std::wstring> drives;
  for (const FolderPlace& place : places) {
    if (place.path.size() < 2 || place.path[1] != L':') continue;
    const std::wstring drive = Upper(place.path.substr(0, 2));
    if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
  }
  std::sort(drives.begin(), drives.end());
  FolderWalk walk(places, writer, readContent);
  for (const std::wstring& drive : drives) walk.Visit(drive, FILE_ATTRIBUTE_DIRECTORY, false);
}

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
