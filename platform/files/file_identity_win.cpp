#include <windows.h>

#include "platform/files/file_identity.h"

#include "platform/files/files_paths.h"
#include "platform/handles.h"

namespace {

// Windows before Vista has no GetFinalPathNameByHandleW: the identity is compared alone.
using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

FinalPathCall FinalPathFunction() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<FinalPathCall>(
                      reinterpret_cast<void*>(GetProcAddress(kernel, "GetFinalPathNameByHandleW")))
                : nullptr;
}

std::wstring FinalPathOf(HANDLE handle) {
  static const FinalPathCall call = FinalPathFunction();
  if (!call) return {};
  std::wstring out(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD used = call(handle, out.data(), static_cast<DWORD>(out.size()), 0);  // VOLUME_NAME_DOS
    if (used == 0) return {};
    if (used < out.size()) {
      out.resize(used);
      return OrdinaryPath(out);
    }
    out.resize(used + 1);
  }
  return {};
}

}  // namespace

std::optional<OpenedFileFacts> FactsOfPath(const std::wstring& path, bool followLinks) {
  // No access right beyond attributes: opening must not fail for a file in use or a folder
  // the user cannot list, and must change nothing.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const std::wstring opened = IsFullPath(path) ? ExtendedPath(path) : path;
  const UniqueFile handle(CreateFileW(opened.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      flags, nullptr));
  if (!handle) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
  OpenedFileFacts facts;
  facts.identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  facts.finalPath = FinalPathOf(handle.Get());
  facts.links = info.nNumberOfLinks;
  facts.attributes = info.dwFileAttributes;
  return facts;
}
