#pragma once
// Counts the file system calls this program makes, by name, for the folder tree bench, as
// registry_call_count.h counts the registry's: kernel32's calls through the program's import
// table, ntdll's through the addresses GetProcAddress hands out. Under Wine each of these is
// at least one round trip to its server (GetFileInformationByHandle more: it asks the volume's
// mount manager too), so the calls per file and per folder say what the walk costs apart from
// the machine's load. Install before the first file call of the code measured.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bench/registry_call_count.h"

namespace bench {

enum class FileCall {
  CreateFile,
  Close,
  FileInformation,
  FindFirst,
  Attributes,
  FinalPath,
  NtCreate,
  NtQueryDirectory,
  NtQueryInformation,
  NtSetInformation,
  kCount
};

inline const char* FileCallName(FileCall call) {
  static const char* const names[] = {"CreateFileW",          "CloseHandle",           "GetFileInformationByHandle",
                                      "FindFirstFileW",       "GetFileAttributesW",    "GetFinalPathNameByHandleW",
                                      "NtCreateFile",         "NtQueryDirectoryFile",  "NtQueryInformationFile",
                                      "NtSetInformationFile"};
  return names[static_cast<int>(call)];
}

inline long fileCalls[static_cast<int>(FileCall::kCount)] = {};
inline void CountFileCall(FileCall call) { ++fileCalls[static_cast<int>(call)]; }
inline void ResetFileCalls() { std::memset(fileCalls, 0, sizeof fileCalls); }

namespace file_detail {

using CreateCall = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using CloseCall = BOOL(WINAPI*)(HANDLE);
using InformationCall = BOOL(WINAPI*)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
using FindCall = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using AttributesCall = DWORD(WINAPI*)(LPCWSTR);
using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using NtCreateCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, void*, void*, PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID,
                                  ULONG);
using NtQueryDirectoryCall = LONG(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, void*, PVOID, ULONG, int, BOOLEAN, void*,
                                          BOOLEAN);
using NtInformationCall = LONG(NTAPI*)(HANDLE, void*, PVOID, ULONG, int);

inline CreateCall create = nullptr;
inline CloseCall close = nullptr;
inline InformationCall information = nullptr;
inline FindCall findFirst = nullptr;
inline AttributesCall attributes = nullptr;
inline FinalPathCall finalPath = nullptr;
inline NtCreateCall ntCreate = nullptr;
inline NtQueryDirectoryCall ntQueryDirectory = nullptr;
inline NtInformationCall ntQuery = nullptr;
inline NtInformationCall ntSet = nullptr;

inline HANDLE WINAPI CountedCreate(LPCWSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE t) {
  CountFileCall(FileCall::CreateFile);
  return create(p, a, s, sa, d, f, t);
}
inline BOOL WINAPI CountedClose(HANDLE h) {
  CountFileCall(FileCall::Close);
  return close(h);
}
inline BOOL WINAPI CountedInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION i) {
  CountFileCall(FileCall::FileInformation);
  return information(h, i);
}
inline HANDLE WINAPI CountedFindFirst(LPCWSTR p, LPWIN32_FIND_DATAW d) {
  CountFileCall(FileCall::FindFirst);
  return findFirst(p, d);
}
inline DWORD WINAPI CountedAttributes(LPCWSTR p) {
  CountFileCall(FileCall::Attributes);
  return attributes(p);
}
inline DWORD WINAPI CountedFinalPath(HANDLE h, LPWSTR p, DWORD l, DWORD f) {
  CountFileCall(FileCall::FinalPath);
  return finalPath(h, p, l, f);
}
inline LONG NTAPI CountedNtCreate(PHANDLE h, ACCESS_MASK a, void* o, void* io, PLARGE_INTEGER s, ULONG at, ULONG sh,
                                  ULONG d, ULONG op, PVOID ea, ULONG el) {
  CountFileCall(FileCall::NtCreate);
  return ntCreate(h, a, o, io, s, at, sh, d, op, ea, el);
}
inline LONG NTAPI CountedNtQueryDirectory(HANDLE h, HANDLE e, PVOID r, PVOID c, void* io, PVOID b, ULONG l, int k,
                                          BOOLEAN one, void* mask, BOOLEAN restart) {
  CountFileCall(FileCall::NtQueryDirectory);
  return ntQueryDirectory(h, e, r, c, io, b, l, k, one, mask, restart);
}
inline LONG NTAPI CountedNtQuery(HANDLE h, void* io, PVOID b, ULONG l, int k) {
  CountFileCall(FileCall::NtQueryInformation);
  return ntQuery(h, io, b, l, k);
}
inline LONG NTAPI CountedNtSet(HANDLE h, void* io, PVOID b, ULONG l, int k) {
  CountFileCall(FileCall::NtSetInformation);
  return ntSet(h, io, b, l, k);
}

inline FARPROC WINAPI CountedLookUp(HMODULE module, LPCSTR name) {
  const FARPROC found = detail::lookUp(module, name);
  // An ordinal is passed as a number below 65536, not as a name.
  if (reinterpret_cast<ULONG_PTR>(name) < 0x10000) return found;
  const std::string wanted(name);
  if (module == GetModuleHandleW(L"ntdll.dll")) {
    if (wanted == "NtCreateFile") return detail::Counted(found, ntCreate, &CountedNtCreate);
    if (wanted == "NtQueryDirectoryFile") return detail::Counted(found, ntQueryDirectory, &CountedNtQueryDirectory);
    if (wanted == "NtQueryInformationFile") return detail::Counted(found, ntQuery, &CountedNtQuery);
    if (wanted == "NtSetInformationFile") return detail::Counted(found, ntSet, &CountedNtSet);
  } else if (module == GetModuleHandleW(L"kernel32.dll") && wanted == "GetFinalPathNameByHandleW") {
    return detail::Counted(found, finalPath, &CountedFinalPath);
  }
  return found;
}

}  // namespace file_detail

// The calls the program imports under another name than these are not counted; the names
// missing are given back so that the bench can say so.
inline std::vector<std::string> InstallFileCallCount() {
  using namespace file_detail;
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  // The originals are taken from the module itself, as the registry counter takes its own.
  const auto real = [kernel32](const char* name, auto& original) {
    if (const FARPROC found = GetProcAddress(kernel32, name)) {
      original = reinterpret_cast<std::remove_reference_t<decltype(original)>>(reinterpret_cast<void (*)()>(found));
    }
  };
  real("CreateFileW", create);
  real("CloseHandle", close);
  real("GetFileInformationByHandle", information);
  real("FindFirstFileW", findFirst);
  real("GetFileAttributesW", attributes);
  real("GetProcAddress", detail::lookUp);
  const std::pair<const char*, void*> imports[] = {
      {"CreateFileW", detail::Address(&CountedCreate)},
      {"CloseHandle", detail::Address(&CountedClose)},
      {"GetFileInformationByHandle", detail::Address(&CountedInformation)},
      {"FindFirstFileW", detail::Address(&CountedFindFirst)},
      {"GetFileAttributesW", detail::Address(&CountedAttributes)},
      {"GetProcAddress", detail::Address(&CountedLookUp)},
  };
  std::vector<std::string> missing;
  for (const auto& [name, wrapper] : imports) {
    if (!detail::PatchImport("kernel32.dll", name, wrapper)) missing.emplace_back(name);
  }
  return missing;
}

using FileCallCountsNow = std::array<long, static_cast<std::size_t>(FileCall::kCount)>;

inline FileCallCountsNow FileCallCounts() {
  FileCallCountsNow counts{};
  std::copy(std::begin(fileCalls), std::end(fileCalls), counts.begin());
  return counts;
}

// The file calls counted since the last reset less `fixed` (what the same work costs with no
// items), divided by items, one figure per call made; answers the calls per item in all.
inline double PrintFileCallsPer(const char* what, const char* item, int items, const FileCallCountsNow& fixed) {
  double all = 0;
  std::printf("%s, file calls per %s:", what, item);
  for (int i = 0; i < static_cast<int>(FileCall::kCount); ++i) {
    const long calls = fileCalls[i] - fixed[static_cast<std::size_t>(i)];
    const double per = static_cast<double>(calls) / items;
    if (per < 0.005 && per > -0.005) continue;
    all += per;
    std::printf(" %s %.2f", FileCallName(static_cast<FileCall>(i)), per);
  }
  std::printf("; in all %.2f\n", all);
  std::fflush(stdout);
  return all;
}

}  // namespace bench
