#include <windows.h>
#include <winternl.h>

#include "platform/files/relative_files.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS kStatusCannotDelete = static_cast<NTSTATUS>(0xC0000121);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr ULONG kOpenForBackupIntent = 0x00004000;
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kDeleteOnClose = 0x00001000;
constexpr FILE_INFORMATION_CLASS kIdFullDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(38);
constexpr FILE_INFORMATION_CLASS kBasicInformation = static_cast<FILE_INFORMATION_CLASS>(4);
constexpr FILE_INFORMATION_CLASS kStandardInformation = static_cast<FILE_INFORMATION_CLASS>(5);
constexpr FILE_INFORMATION_CLASS kInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr FILE_INFORMATION_CLASS kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr FILE_INFORMATION_CLASS kDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr FILE_INFORMATION_CLASS kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
// Beyond the classes the headers' enumeration names: passed as the number it is.
constexpr ULONG kDispositionInformationEx = 64;
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;
// What a system or a file system without POSIX deletion answers (Wine: not implemented).
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kPosixUnavailable[] = {kStatusNotImplemented, kStatusInvalidInfoClass,
                                          static_cast<NTSTATUS>(0xC000000D), static_cast<NTSTATUS>(0xC00000BB)};

// Set once the system has answered that it lacks POSIX deletion altogether.
std::atomic<bool> systemLacksPosix{false};

using OpenFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
using CreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                        ULONG, ULONG, ULONG, PVOID, ULONG);
using QueryDirectoryCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                            FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using FileInformationCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using NumberedInformationCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

// ntdll's file calls, which take a root folder handle; present since Windows NT 3.1.
struct NtFileCalls {
  OpenFileCall open = nullptr;
  CreateFileCall create = nullptr;
  QueryDirectoryCall queryDirectory = nullptr;
  FileInformationCall query = nullptr;
  FileInformationCall set = nullptr;
  NumberedInformationCall setNumbered = nullptr;  // the same call, its class as a number
  StatusToErrorCall toError = nullptr;
  NtFileCalls() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return;
    const auto find = [ntdll](const char* name) { return reinterpret_cast<void*>(GetProcAddress(ntdll, name)); };
    open = reinterpret_cast<OpenFileCall>(find("NtOpenFile"));
    create = reinterpret_cast<CreateFileCall>(find("NtCreateFile"));
    queryDirectory = reinterpret_cast<QueryDirectoryCall>(find("NtQueryDirectoryFile"));
    query = reinterpret_cast<FileInformationCall>(find("NtQueryInformationFile"));
    set = reinterpret_cast<FileInformationCall>(find("NtSetInformationFile"));
    setNumbered = reinterpret_cast<NumberedInformationCall>(find("NtSetInformationFile"));
    toError = reinterpret_cast<StatusToErrorCall>(find("RtlNtStatusToDosError"));
  }
  bool Complete() const { return open && create && queryDirectory && query && set && toError; }
};

const NtFileCalls& Nt() {
  static const NtFileCalls calls;
  return calls;
}

DWORD ErrorOf(NTSTATUS status) {
  if (status == kStatusSuccess) return ERROR_SUCCESS;
  if (status == kStatusCannotDelete) return kMappedImageCode;
  if (status == kStatusDeletePending) return ERROR_DELETE_PENDING;
  return Nt().toError(status);
}

struct BasicInformation {
  LARGE_INTEGER creation, lastAccess, lastWrite, change;  // zero: left as they are
  ULONG attributes;
};
struct StandardInformation {
  LARGE_INTEGER allocationSize, endOfFile;
  ULONG links;
  BOOLEAN deletePending, directory;
};
struct AttributeTagInformation {
  ULONG attributes;
  ULONG reparseTag;
};
struct DispositionInformation {
  BOOLEAN deleteFile;
};
struct DispositionInformationEx {
  ULONG flags;
};

}  // namespace

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

UniqueFile OpenAsItself(const std::wstring& path, DWORD access, DWORD& error) {
  UniqueFile file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  error = file ? ERROR_SUCCESS : GetLastError();
  return file;
}

DWORD OpenChild(HANDLE parent, const std::wstring& name, DWORD access, bool folder, UniqueFile& child) {
  return OpenChildShared(parent, name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, folder, child);
}

namespace {

// One FILE_ID_FULL_DIR_INFORMATION entry, laid out as the system lays it out on every
// architecture; answers the offset of the next entry (0 for the last).
ULONG ReadEntry(const BYTE* bytes, FolderChild& child) {
  const auto read = [bytes](std::size_t offset) {
    ULONG value = 0;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
  };
  const ULONG next = read(0), attributes = read(56), nameBytes = read(60), eaSize = read(64);
  child.fileId = 0;
  std::memcpy(&child.fileId, bytes + 72, sizeof(child.fileId));
  child.name.assign(nameBytes / sizeof(wchar_t), L'\0');
  std::memcpy(child.name.data(), bytes + 80, nameBytes);
  child.attributes = attributes;
  // A reparse point's tag stands where the extended attributes' size would.
  child.reparseTag = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? eaSize : 0;
  return next;
}

}  // namespace

DWORD ListFolder(HANDLE folder, std::vector<FolderChild>& children) {
  if (!Nt().Complete()) return ERROR_CALL_NOT_IMPLEMENTED;
  std::vector<ULONGLONG> buffer(64 * 1024 / sizeof(ULONGLONG));  // aligned as the entries need
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        Nt().queryDirectory(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                            static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), kIdFullDirectoryInformation, FALSE,
                            nullptr, restart);
    if (status == kStatusNoMoreFiles) return ERROR_SUCCESS;
    if (status != kStatusSuccess && status != kStatusBufferOverflow) return ErrorOf(status);
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
      FolderChild child;
      const ULONG next = ReadEntry(bytes, child);
      if (child.name != L"." && child.name != L"..") children.push_back(std::move(child));
      if (next == 0) break;
      bytes += next;
    }
  }
}

DWORD ListChild(HANDLE folder, const std::wstring& name, FolderChild& child) {
  if (!Nt().Complete()) return ERROR_CALL_NOT_IMPLEMENTED;
  if (name.empty() || name.find_first_of(L"*?<>\"\\") != std::wstring::npos) return ERROR_INVALID_NAME;
  std::vector<ULONGLONG> buffer((sizeof(ULONG) * 20 + (name.size() + 1) * sizeof(wchar_t)) / sizeof(ULONGLONG) + 16);
  std::wstring mask = name;
  UNICODE_STRING pattern{static_cast<USHORT>(mask.size() * sizeof(wchar_t)),
                         static_cast<USHORT>(mask.size() * sizeof(wchar_t)), mask.data()};
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      Nt().queryDirectory(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                          static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), kIdFullDirectoryInformation, TRUE,
                          &pattern, TRUE);
  if (status == kStatusNoMoreFiles) return ERROR_FILE_NOT_FOUND;
  if (status != kStatusSuccess) return ErrorOf(status);
  (void)ReadEntry(reinterpret_cast<const BYTE*>(buffer.data()), child);
  return ERROR_SUCCESS;
}

bool AttributesOf(HANDLE file, DWORD& attributes, DWORD& reparseTag) {
  AttributeTagInformation tag{};
  IO_STATUS_BLOCK io{};
  if (Nt().Complete() && Nt().query(file, &io, &tag, sizeof(tag), kAttributeTagInformation) == kStatusSuccess) {
    attributes = tag.attributes;
    reparseTag = (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tag.reparseTag : 0;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return false;
  attributes = info.dwFileAttributes;
  reparseTag = 0;
  return true;
}

DWORD AttributesAndIdOf(HANDLE file, DWORD& attributes, DWORD& reparseTag, ULONGLONG& fileId) {
  if (!Nt().Complete()) return ERROR_CALL_NOT_IMPLEMENTED;
  AttributeTagInformation tag{};
  LARGE_INTEGER id{};
  IO_STATUS_BLOCK io{};
  NTSTATUS status = Nt().query(file, &io, &tag, sizeof(tag), kAttributeTagInformation);
  if (status == kStatusSuccess) status = Nt().query(file, &io, &id, sizeof(id), kInternalInformation);
  if (status != kStatusSuccess) return ErrorOf(status);
  attributes = tag.attributes;
  reparseTag = (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tag.reparseTag : 0;
  fileId = static_cast<ULONGLONG>(id.QuadPart);
  return ERROR_SUCCESS;
}

bool FactsOfHandle(HANDLE file, HandleFacts& facts) {
  if (!Nt().Complete()) return false;
  BasicInformation basic{};
  StandardInformation standard{};
  LARGE_INTEGER fileId{};
  IO_STATUS_BLOCK io{};
  if (Nt().query(file, &io, &basic, sizeof(basic), kBasicInformation) != kStatusSuccess ||
      Nt().query(file, &io, &standard, sizeof(standard), kStandardInformation) != kStatusSuccess ||
      Nt().query(file, &io, &fileId, sizeof(fileId), kInternalInformation) != kStatusSuccess) {
    return false;
  }
  const auto time = [](const LARGE_INTEGER& count) {
    return FILETIME{static_cast<DWORD>(count.QuadPart & 0xFFFFFFFF), static_cast<DWORD>(count.QuadPart >> 32)};
  };
  facts.attributes = basic.attributes;
  facts.creation = time(basic.creation);
  facts.lastAccess = time(basic.lastAccess);
  facts.lastWrite = time(basic.lastWrite);
  facts.size = static_cast<ULONGLONG>(standard.endOfFile.QuadPart);
  facts.links = standard.links;
  facts.fileId = static_cast<ULONGLONG>(fileId.QuadPart);
  return true;
}

bool IdentityOf(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

std::wstring FinalPathOf(HANDLE file) {
  using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto call = reinterpret_cast<FinalPathCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (!call) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD length = call(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

DWORD OpenForDeletion(const std::function<DWORD(DWORD access)>& open, bool plainFirst, bool& writeAttributes) {
  writeAttributes = plainFirst;
  const DWORD error = open(DELETE | FILE_READ_ATTRIBUTES | (plainFirst ? FILE_WRITE_ATTRIBUTES : 0));
  if (error != ERROR_ACCESS_DENIED || !plainFirst) return error;
  writeAttributes = false;
  return open(DELETE | FILE_READ_ATTRIBUTES);
}

LONG MarkForDeletion(const std::function<LONG(bool posix)>& set, bool& posix) {
  posix = true;
  const LONG status = set(true);
  for (const NTSTATUS unavailable : kPosixUnavailable) {
    if (status == unavailable) {
      posix = false;
      return set(false);
    }
  }
  return status;
}

bool SystemLacksPosixDeletion(LONG status) {
  return status == kStatusNotImplemented || status == kStatusInvalidInfoClass;
}

namespace {
DWORD CreateChild(HANDLE parent, const std::wstring& name, DWORD access, ULONG share, ULONG disposition, ULONG options,
                  UniqueFile& child, void* securityDescriptor = nullptr);
}  // namespace

DWORD RemoveChildOf(HANDLE parent, const std::wstring& name, bool folder, bool plainFirst) {
  if (!folder && !plainFirst && systemLacksPosix.load(std::memory_order_relaxed)) {
    UniqueFile doomed;
    const DWORD error = CreateChild(parent, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    FILE_OPEN, kNonDirectoryFile | kDeleteOnClose, doomed);
    // Refused as read-only or as a mapped image: the disposition below tells which.
    if (error != kMappedImageCode) return error;
  }
  UniqueFile child;
  bool writeAttributes = false;
  const DWORD opened = OpenForDeletion(
      [&](DWORD access) { return OpenChild(parent, name, access, folder, child); }, plainFirst, writeAttributes);
  if (opened != ERROR_SUCCESS) return opened;
  IO_STATUS_BLOCK io{};
  if (writeAttributes) {
    BasicInformation basic{};
    basic.attributes = FILE_ATTRIBUTE_ARCHIVE;
    (void)Nt().set(child.Get(), &io, &basic, sizeof(basic), kBasicInformation);  // a failure shows below
  }
  bool posix = false;
  const auto mark = [&](bool posixSemantics) -> LONG {
    if (posixSemantics) {
      DispositionInformationEx disposition{kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
      const LONG answer =
          Nt().setNumbered(child.Get(), &io, &disposition, sizeof(disposition), kDispositionInformationEx);
      if (SystemLacksPosixDeletion(answer)) systemLacksPosix.store(true, std::memory_order_relaxed);
      return answer;
    }
    DispositionInformation disposition{TRUE};
    return Nt().set(child.Get(), &io, &disposition, sizeof(disposition), kDispositionInformation);
  };
  const NTSTATUS status = systemLacksPosix.load(std::memory_order_relaxed) ? mark(false) : MarkForDeletion(mark, posix);
  // A read-only file answers STATUS_CANNOT_DELETE too: that one is denied, not in use.
  DWORD attributes = 0;
  DWORD tag = 0;
  if (status == kStatusCannotDelete && AttributesOf(child.Get(), attributes, tag) &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  return ErrorOf(status);
}

namespace {
// Renames the open file to `target`, a name relative to the folder open as root, or a full
// NT name when root is null; never replacing what is there.
DWORD RenameOpened(HANDLE file, HANDLE root, const std::wstring& target) {
  const std::size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<BYTE> info(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t), 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
  rename->RootDirectory = root;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(rename->FileName, target.data(), nameBytes);
  IO_STATUS_BLOCK io{};
  return ErrorOf(Nt().set(file, &io, info.data(), static_cast<ULONG>(info.size()), kRenameInformation));
}
}  // namespace

DWORD RenameChildOf(HANDLE parent, const std::wstring& name, bool folder, const std::wstring& target) {
  UniqueFile child;
  if (const DWORD error = OpenChild(parent, name, DELETE | FILE_READ_ATTRIBUTES, folder, child); error != ERROR_SUCCESS) {
    return error;
  }
  // The NT form of the target: "\??\C:\...".
  return RenameOpened(child.Get(), nullptr,
                      target.starts_with(L"\\\\?\\") ? L"\\??\\" + target.substr(4) : L"\\??\\" + target);
}

namespace {

// NtCreateFile on the child `name` of parent (as itself), with the share mode and disposition given.
DWORD CreateChild(HANDLE parent, const std::wstring& name, DWORD access, ULONG share, ULONG disposition, ULONG options,
                  UniqueFile& child, void* securityDescriptor) {
  if (!Nt().Complete()) return ERROR_CALL_NOT_IMPLEMENTED;
  if (name.size() * sizeof(wchar_t) > 0xFFFE) return ERROR_FILENAME_EXCED_RANGE;
  UNICODE_STRING unicodeName;
  unicodeName.Buffer = const_cast<PWSTR>(name.c_str());
  unicodeName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  unicodeName.MaximumLength = unicodeName.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, parent, securityDescriptor);
  IO_STATUS_BLOCK io{};
  HANDLE opened = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      Nt().create(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                  options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | kOpenForBackupIntent, nullptr, 0);
  if (status != kStatusSuccess) return ErrorOf(status);
  child.Reset(opened);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD HoldChildFolder(HANDLE parent, const std::wstring& name, DWORD access, bool create, UniqueFile& child,
                      void* securityDescriptor) {
  const DWORD error = CreateChild(parent, name, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  create ? FILE_CREATE : FILE_OPEN, FILE_DIRECTORY_FILE, child, securityDescriptor);
  return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
}

DWORD OpenChildShared(HANDLE parent, const std::wstring& name, DWORD access, DWORD share, bool folder,
                      UniqueFile& child) {
  return CreateChild(parent, name, access, share, FILE_OPEN, folder ? FILE_DIRECTORY_FILE : kNonDirectoryFile, child);
}

DWORD CreateChildFile(HANDLE parent, const std::wstring& name, DWORD access, UniqueFile& child,
                      void* securityDescriptor) {
  const DWORD error =
      CreateChild(parent, name, access, FILE_SHARE_READ, FILE_CREATE, kNonDirectoryFile, child, securityDescriptor);
  return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
}

DWORD RenameChildInto(HANDLE parent, const std::wstring& name, bool folder, HANDLE targetFolder,
                      const std::wstring& targetName) {
  UniqueFile child;
  if (const DWORD error = OpenChild(parent, name, DELETE | FILE_READ_ATTRIBUTES, folder, child); error != ERROR_SUCCESS) {
    return error;
  }
  return RenameOpenInto(child.Get(), targetFolder, targetName);
}

DWORD RenameOpenInto(HANDLE opened, HANDLE targetFolder, const std::wstring& targetName) {
  const DWORD error = RenameOpened(opened, targetFolder, targetName);
  return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
}
