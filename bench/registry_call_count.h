#pragma once
// Counts the registry calls this program makes, by name, for the registry bench: the entries
// of the program's import table for advapi32's registry calls are pointed at counting
// wrappers, and GetProcAddress hands out counting wrappers for the ntdll calls the code looks
// up itself. Under Wine every one of these calls is at least one round trip to its server,
// so the count per key says what a walk costs apart from the machine's load. Install before
// the first registry call of the code measured (a looked-up address is kept once found).
#include <windows.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace bench {

enum class RegistryCall { Open, Close, Enumerate, QueryInfo, QueryValue, Delete, NtEnumerate, NtQuery, NtDelete, kCount };

inline const char* RegistryCallName(RegistryCall call) {
  static const char* const names[] = {"RegOpenKeyExW", "RegCloseKey",    "RegEnumKeyExW",
                                      "RegQueryInfoKeyW", "RegQueryValueExW", "RegDeleteKeyW",
                                      "NtEnumerateKey", "NtQueryKey",     "NtDeleteKey"};
  return names[static_cast<int>(call)];
}

// RegDeleteKeyW opens the key, deletes it and closes it: three round trips; the others one.
inline int RoundTripsOf(RegistryCall call) { return call == RegistryCall::Delete ? 3 : 1; }

inline long registryCalls[static_cast<int>(RegistryCall::kCount)] = {};

inline void CountCall(RegistryCall call) { ++registryCalls[static_cast<int>(call)]; }
inline void ResetRegistryCalls() { std::memset(registryCalls, 0, sizeof registryCalls); }

namespace detail {

using OpenCall = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using CloseCall = LONG(WINAPI*)(HKEY);
using EnumCall = LONG(WINAPI*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPWSTR, LPDWORD, PFILETIME);
using InfoCall = LONG(WINAPI*)(HKEY, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                               LPDWORD, PFILETIME);
using ValueCall = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using DeleteCall = LONG(WINAPI*)(HKEY, LPCWSTR);
using NtEnumerateCall = LONG(WINAPI*)(HANDLE, ULONG, int, void*, ULONG, ULONG*);
using NtQueryCall = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using NtDeleteCall = LONG(WINAPI*)(HANDLE);
using LookUpCall = FARPROC(WINAPI*)(HMODULE, LPCSTR);

inline OpenCall open = &RegOpenKeyExW;
inline CloseCall close = &RegCloseKey;
inline EnumCall enumerate = &RegEnumKeyExW;
inline InfoCall info = &RegQueryInfoKeyW;
inline ValueCall value = &RegQueryValueExW;
inline DeleteCall remove = &RegDeleteKeyW;
inline NtEnumerateCall ntEnumerate = nullptr;
inline NtQueryCall ntQuery = nullptr;
inline NtDeleteCall ntDelete = nullptr;
inline LookUpCall lookUp = &GetProcAddress;

inline LONG WINAPI CountedOpen(HKEY k, LPCWSTR s, DWORD o, REGSAM r, PHKEY out) {
  CountCall(RegistryCall::Open);
  return open(k, s, o, r, out);
}
inline LONG WINAPI CountedClose(HKEY k) {
  CountCall(RegistryCall::Close);
  return close(k);
}
inline LONG WINAPI CountedEnum(HKEY k, DWORD i, LPWSTR n, LPDWORD l, LPDWORD r, LPWSTR c, LPDWORD cl, PFILETIME t) {
  CountCall(RegistryCall::Enumerate);
  return enumerate(k, i, n, l, r, c, cl, t);
}
inline LONG WINAPI CountedInfo(HKEY k, LPWSTR c, LPDWORD cl, LPDWORD r, LPDWORD s, LPDWORD ms, LPDWORD mc, LPDWORD v,
                               LPDWORD mv, LPDWORD md, LPDWORD sd, PFILETIME t) {
  CountCall(RegistryCall::QueryInfo);
  return info(k, c, cl, r, s, ms, mc, v, mv, md, sd, t);
}
inline LONG WINAPI CountedValue(HKEY k, LPCWSTR n, LPDWORD r, LPDWORD t, LPBYTE d, LPDWORD s) {
  CountCall(RegistryCall::QueryValue);
  return value(k, n, r, t, d, s);
}
inline LONG WINAPI CountedDelete(HKEY k, LPCWSTR s) {
  CountCall(RegistryCall::Delete);
  return remove(k, s);
}
inline LONG WINAPI CountedNtEnumerate(HANDLE k, ULONG i, int c, void* b, ULONG l, ULONG* r) {
  CountCall(RegistryCall::NtEnumerate);
  return ntEnumerate(k, i, c, b, l, r);
}
inline LONG WINAPI CountedNtQuery(HANDLE k, int c, void* b, ULONG l, ULONG* r) {
  CountCall(RegistryCall::NtQuery);
  return ntQuery(k, c, b, l, r);
}
inline LONG WINAPI CountedNtDelete(HANDLE k) {
  CountCall(RegistryCall::NtDelete);
  return ntDelete(k);
}

template <typename Call>
FARPROC Counted(FARPROC found, Call& original, Call wrapper) {
  if (found == nullptr) return nullptr;
  original = reinterpret_cast<Call>(reinterpret_cast<void (*)()>(found));
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(wrapper));
}

inline FARPROC WINAPI CountedLookUp(HMODULE module, LPCSTR name) {
  const FARPROC found = lookUp(module, name);
  // An ordinal is passed as a number below 65536, not as a name.
  if (reinterpret_cast<ULONG_PTR>(name) < 0x10000 || module != GetModuleHandleW(L"ntdll.dll")) return found;
  const std::string wanted(name);
  if (wanted == "NtEnumerateKey") return Counted(found, ntEnumerate, &CountedNtEnumerate);
  if (wanted == "NtQueryKey") return Counted(found, ntQuery, &CountedNtQuery);
  if (wanted == "NtDeleteKey") return Counted(found, ntDelete, &CountedNtDelete);
  return found;
}

// Points this program's import of function from dll at replacement; false when not imported.
inline bool PatchImport(const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return false;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
       ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD old = 0;
      VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE, &old);
      addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, old, &old);
      return true;
    }
  }
  return false;
}

template <typename Call>
void* Address(Call call) {
  return reinterpret_cast<void*>(reinterpret_cast<void (*)()>(call));
}

}  // namespace detail

// The calls the program imports under another name than these are not counted; the names
// missing are given back so that the bench can say so.
inline std::vector<std::string> InstallRegistryCallCount() {
  using namespace detail;
  const std::pair<const char*, void*> advapi[] = {
      {"RegOpenKeyExW", Address(&CountedOpen)},       {"RegCloseKey", Address(&CountedClose)},
      {"RegEnumKeyExW", Address(&CountedEnum)},       {"RegQueryInfoKeyW", Address(&CountedInfo)},
      {"RegQueryValueExW", Address(&CountedValue)},   {"RegDeleteKeyW", Address(&CountedDelete)},
  };
  // The originals are taken from the modules themselves: an address taken in the code may be
  // a stub that jumps through the import table, which then leads back to the wrapper.
  const HMODULE advapi32 = GetModuleHandleW(L"advapi32.dll");
  const auto real = [](HMODULE module, const char* name, auto& original) {
    if (const FARPROC found = GetProcAddress(module, name)) {
      original = reinterpret_cast<std::remove_reference_t<decltype(original)>>(reinterpret_cast<void (*)()>(found));
    }
  };
  real(advapi32, "RegOpenKeyExW", open);
  real(advapi32, "RegCloseKey", close);
  real(advapi32, "RegEnumKeyExW", enumerate);
  real(advapi32, "RegQueryInfoKeyW", info);
  real(advapi32, "RegQueryValueExW", value);
  real(advapi32, "RegDeleteKeyW", remove);
  real(GetModuleHandleW(L"kernel32.dll"), "GetProcAddress", lookUp);
  std::vector<std::string> missing;
  for (const auto& [name, wrapper] : advapi) {
    if (!PatchImport("advapi32.dll", name, wrapper)) missing.emplace_back(name);
  }
  if (!PatchImport("kernel32.dll", "GetProcAddress", Address(&CountedLookUp))) missing.emplace_back("GetProcAddress");
  return missing;
}

// The registry calls counted since the last reset, divided by keys, one line per call made.
inline double PrintRegistryCallsPerKey(const char* what, int keys) {
  double roundTrips = 0;
  std::printf("%s, registry calls per key:", what);
  for (int i = 0; i < static_cast<int>(RegistryCall::kCount); ++i) {
    if (registryCalls[i] == 0) continue;
    const auto call = static_cast<RegistryCall>(i);
    const double perKey = static_cast<double>(registryCalls[i]) / keys;
    roundTrips += perKey * RoundTripsOf(call);
    std::printf(" %s %.2f", RegistryCallName(call), perKey);
  }
  std::printf("; round trips to the server per key: %.2f\n", roundTrips);
  return roundTrips;
}

}  // namespace bench
