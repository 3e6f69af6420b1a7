#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "engine/guards/windows_files_win.h"

#include <cwchar>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/product_evidence_win.h"
#include "engine/guards/windows_files.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/files/system_mirror.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

namespace {

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Inside the Windows folder, by the ordinary upper-case forms of both; or inside Windows' part
// of Program Files, Common Files or ProgramData.
bool InWindowsFolder(CleanerContext& context, const std::wstring& path) {
  std::string windows = context.state.WindowsFolder.empty() ? WindowsFolder() : context.state.WindowsFolder;
  const std::wstring top = Upper(WithoutTrailingBackslashes(OrdinaryPath(FullPathWide(WideFromAnsi(windows)))));
  if (!top.empty() && IsBelowFolder(Upper(OrdinaryPath(path)), top)) return true;
  return IsInWindowsPlace(context, path);
}

template <typename Function>
Function LibraryFunction(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

using SizeCall = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using InfoCall = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryCall = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
using ProtectedCall = BOOL(WINAPI*)(HANDLE, LPCWSTR);

// The calls the checks make, from libraries kept loaded for the program's life. A library
// that did not load is tried again at the next load: a failure with the redirection off is
// not the answer for the rest of the run.
struct CheckLibraries {
  SizeCall size = nullptr;
  InfoCall info = nullptr;
  QueryCall query = nullptr;
  ProtectedCall isProtected = nullptr;
  bool Ready() const { return size && info && query && isProtected; }
};

CheckLibraries& Libraries() {
  static CheckLibraries libraries;
  return libraries;
}

// Where the libraries are loaded from: the System folder when empty.
std::wstring& LibraryFolder() {
  static std::wstring folder;
  return folder;
}

bool VersionNamesMicrosoft(const std::wstring& path) {
  for (const std::wstring& company : VersionCompanies(path)) {
    if (NamesMicrosoft(company)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::wstring> VersionCompanies(const std::wstring& path) {
  std::vector<std::wstring> companies;
  if (!LoadWindowsFileChecks()) return companies;
  const auto size = Libraries().size;
  const auto info = Libraries().info;
  const auto query = Libraries().query;
  DWORD ignored = 0;
  const DWORD bytes = size(path.c_str(), &ignored);
  if (bytes == 0) return companies;
  std::vector<BYTE> data(bytes);
  if (!info(path.c_str(), 0, bytes, data.data())) return companies;
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!query(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translations), &length)) {
    return companies;
  }
  for (UINT i = 0; i < length / sizeof(Translation); ++i) {
    wchar_t key[64];
    std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\CompanyName", translations[i].language,
                  translations[i].codePage);
    wchar_t* company = nullptr;
    UINT characters = 0;
    if (query(data.data(), key, reinterpret_cast<LPVOID*>(&company), &characters) && company) {
      companies.emplace_back(company, wcsnlen(company, characters));
    }
  }
  return companies;
}

namespace {

// Windows Resource Protection (Windows Vista and later; sfc.dll asks sfc_os.dll), asked with
// the name Windows keeps the file under: never through the Sysnative alias.
bool ProtectedByWindows(CleanerContext& context, const std::wstring& path) {
  if (!context.systemMirror) context.systemMirror = CurrentSystemMirror();
  return Libraries().isProtected(nullptr, NameWindowsProtects(*context.systemMirror, OrdinaryPath(path)).c_str());
}

bool OwnedByTrustedInstaller(const std::wstring& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool trustedInstaller = false;
  LPWSTR text = nullptr;
  if (owner && ConvertSidToStringSidW(owner, &text)) {
    trustedInstaller = std::wcscmp(text, kTrustedInstaller) == 0;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return trustedInstaller;
}

std::wstring LastName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// Windows' list of libraries that several programs share (their paths as value names, with a
// count of users), in either registry view.
bool ListedAsShared(const std::wstring& path) {
  constexpr wchar_t kSharedDlls[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_64KEY}}) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) continue;
    const UniqueHKey key(opened);
    if (RegQueryValueExW(key.Get(), OrdinaryPath(path).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      return true;
    }
  }
  return false;
}

// What a product folder may hold although it looks like Windows': its folder settings
// (desktop.ini), and its private copy of a Microsoft library (a redistributable runtime) that
// only its version resource marks, which Windows does not protect, TrustedInstaller does not
// own and no other program registers as shared.
bool IsProductFolderCopy(CleanerContext& context, const std::wstring& path) {
  if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, LastName(path).c_str(), -1, L"desktop.ini", -1) == CSTR_EQUAL) return true;
  return LoadWindowsFileChecks() && VersionNamesMicrosoft(path) && !ProtectedByWindows(context, path) &&
         !OwnedByTrustedInstaller(path) && !ListedAsShared(path);
}

// The first of Windows' own files at any depth below folder, with its reason; links are
// neither followed nor counted. The folder is the product's (its line showed the product's
// evidence): its settings and private library copies are its own.
bool FindWindowsOwnFile(CleanerContext& context, const std::wstring& top, std::wstring& file, std::string& reason) {
  std::vector<std::wstring> folders = {top};
  while (!folders.empty()) {
    const std::wstring folder = std::move(folders.back());
    folders.pop_back();
    FolderEnumeration enumeration(folder);
    DirectoryEntry entry;
    while (enumeration.Next(entry)) {
      if (entry.name == L"." || entry.name == L".." || !IsSafeChildName(entry.name)) continue;
      const std::wstring path = folder + L"\\" + entry.name;
      if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        folders.push_back(path);
      } else if (reason = WindowsOwnFileReason(context, path); !reason.empty() && !IsProductFolderCopy(context, path)) {
        file = path;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool LoadWindowsFileChecks() {
  CheckLibraries& libraries = Libraries();
  if (libraries.Ready()) return true;
  const std::wstring from = LibraryFolder().empty() ? WideFromAnsi(SystemFolder()) : LibraryFolder();
  // Kept loaded for the program's life: the calls are used to its end.
  const HMODULE version = LoadLibraryExW((from + L"\\version.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const HMODULE sfc = LoadLibraryExW((from + L"\\sfc.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  libraries.size = LibraryFunction<SizeCall>(version, "GetFileVersionInfoSizeW");
  libraries.info = LibraryFunction<InfoCall>(version, "GetFileVersionInfoW");
  libraries.query = LibraryFunction<QueryCall>(version, "VerQueryValueW");
  libraries.isProtected = LibraryFunction<ProtectedCall>(sfc, "SfcIsFileProtected");
  return libraries.Ready();
}

void LoadWindowsFileChecksFrom(const std::wstring& folder) {
  Libraries() = CheckLibraries();
  LibraryFolder() = folder;
}

std::wstring NameWindowsProtects(const SystemMirror& mirror, const std::wstring& path) {
  if (!IsInRealSystemFolder(mirror, path)) return path;
  const std::wstring native = WithoutTrailingBackslashes(mirror.nativeFolder);
  return WithoutTrailingBackslashes(mirror.systemFolder) + path.substr(native.size());
}

std::string WindowsOwnFileReason(CleanerContext& context, const std::wstring& path) {
  if (!InWindowsFolder(context, path)) return {};
  if (IsSystemDataFileName(LastName(path))) return "a system data file";
  // Unanswered is never "not Windows' own": the item is refused.
  if (!LoadWindowsFileChecks()) return kWindowsFileChecksUnavailable;
  if (VersionNamesMicrosoft(path)) return "its version resource names Microsoft as its company";
  if (ProtectedByWindows(context, path)) return "Windows Resource Protection protects it";
  if (OwnedByTrustedInstaller(path)) return "TrustedInstaller owns it";
  return {};
}

bool RefuseWindowsOwnFile(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::string& shown) {
  UniqueFile child;
  if (OpenChild(parent, name, FILE_READ_ATTRIBUTES, false, child) != ERROR_SUCCESS) return false;
  const std::wstring final = FinalPathOf(child.Get());
  if (final.empty()) return false;
  const std::string reason = WindowsOwnFileReason(context, final);
  if (reason.empty()) return false;
  AddInfo(context, kRefusedWindowsFileText + shown + " (" + reason + ")");
  return true;
}

bool RefuseFolderHoldingWindowsFiles(CleanerContext& context, const std::wstring& folder, const std::string& shown) {
  if (!InWindowsFolder(context, folder)) return false;
  std::wstring file;
  std::string reason;
  if (!FindWindowsOwnFile(context, folder, file, reason)) return false;
  AddInfo(context, kRefusedWindowsFolderText + shown + " - it holds " + AnsiFromWide(OrdinaryPath(file)) + " (" +
                       reason + ")");
  return true;
}

bool HoldsWindowsOwnFiles(CleanerContext& context, const std::wstring& folder) {
  std::wstring file;
  std::string reason;
  return InWindowsFolder(context, folder) && FindWindowsOwnFile(context, folder, file, reason);
}
