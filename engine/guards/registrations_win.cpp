#include <windows.h>

#include "engine/guards/registrations_win.h"

#include <cwchar>
#include <memory>
#include <utility>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/command_line.h"
#include "engine/guards/folder_safety.h"
#include "engine/guards/product_evidence_win.h"
#include "engine/guards/windows_files_win.h"
#include "engine/guards/folder_guard.h"
#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/line_file.h"
#include "platform/files/relative_files.h"
#include "platform/files/system_mirror.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

namespace {

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The comparison form of an existing file or folder: the path the system gives for it once
// opened as itself, which reads 8.3 short names, "\\?\", "..", "/" and SysWOW64 behind a
// redirected System32 as the one object they are; of a missing one, its full ordinary form.
// Upper case, without trailing backslashes.
std::wstring Comparable(const std::wstring& path) {
  if (path.empty()) return {};
  const std::wstring full = FullPathWide(path);
  DWORD error = ERROR_SUCCESS;
  const UniqueFile opened = OpenAsItself(full.empty() ? path : full, FILE_READ_ATTRIBUTES, error);
  const std::wstring final = opened ? FinalPathOf(opened.Get()) : std::wstring();
  return Upper(WithoutTrailingBackslashes(OrdinaryPath(final.empty() ? (full.empty() ? path : full) : final)));
}

const SystemMirror& Mirror(CleanerContext& context) {
  if (!context.systemMirror) context.systemMirror = CurrentSystemMirror();
  return *context.systemMirror;
}

// The path's comparison forms: its own, and on 64-bit Windows that of its twin in the real
// System32 or the 64-bit Program Files, which the run deletes with it.
std::vector<std::wstring> ComparableForms(CleanerContext& context, const std::wstring& path) {
  std::vector<std::wstring> forms = {Comparable(path)};
  const std::wstring ordinary = OrdinaryPath(FullPathWide(path).empty() ? path : FullPathWide(path));
  std::wstring twin = InRealSystemFolder(Mirror(context), ordinary);
  if (twin.empty()) twin = InNativeProgramFolder(Mirror(context), ordinary);
  if (!twin.empty()) forms.push_back(Comparable(twin));
  return forms;
}

// A string value of the open key (or of its subkey), unexpanded; empty when there is none.
std::wstring StringValue(HKEY key, const wchar_t* subKey, const wchar_t* name) {
  UniqueHKey sub;
  if (subKey) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(key, subKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
    sub.Reset(opened);
    key = opened;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t)) {
    return {};
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(text.find(L'\0'));
  return text;
}

DWORD NumberValue(HKEY key, const wchar_t* name) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  const LONG code = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  return code == ERROR_SUCCESS && type == REG_DWORD ? value : 0;
}

std::wstring WindowsFolderWide(CleanerContext& context) {
  return WideFromAnsi(context.state.WindowsFolder.empty() ? WindowsFolder() : context.state.WindowsFolder);
}

// The folders a bare name is looked up in: the System folder, the Windows folder and the
// search path.
CommandFolders SearchFolders(CleanerContext& context) {
  CommandFolders folders{WideFromAnsi(SystemFolder()), WindowsFolderWide(context), {}};
  const std::wstring path = ExpandedEnvironmentText(L"%PATH%");
  for (std::size_t start = 0; start < path.size();) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start && path.substr(start, end - start) != L"%PATH%") {
      folders.path.push_back(WithoutTrailingBackslashes(path.substr(start, end - start)));
    }
    start = end + 1;
  }
  return folders;
}

// Environment strings expanded as the process that reads them would: a 64-bit one (the
// service manager, a 64-bit registration) reads %ProgramFiles% and %CommonProgramFiles% as the
// 64-bit folders, which this 32-bit program finds in %ProgramW6432% and %CommonProgramW6432%.
std::wstring ExpandedAsRead(std::wstring text, bool native) {
  if (native && !ExpandedEnvironmentText(L"%ProgramW6432%").starts_with(L"%")) {
    for (const auto& [name, native64] : {std::pair{L"%PROGRAMFILES%", L"%ProgramW6432%"},
                                         std::pair{L"%COMMONPROGRAMFILES%", L"%CommonProgramW6432%"}}) {
      for (std::size_t at = Upper(text).find(name); at != std::wstring::npos; at = Upper(text).find(name, at + 1)) {
        text.replace(at, std::wcslen(name), native64);
      }
    }
  }
  return ExpandedEnvironmentText(text);
}

// Whether the file is there: in the System folder of 64-bit Windows also where the program's
// view (SysWOW64) does not show it, in the real System32.
bool Exists(CleanerContext& context, const std::wstring& file) {
  if (IsExistingFileWide(file)) return true;
  const std::wstring native = InRealSystemFolder(Mirror(context), OrdinaryPath(file));
  return !native.empty() && IsExistingFileWide(native);
}

// A folder the run's guards refuse, or one in the Windows folder holding Windows' own files,
// is deleted by no line: it vouches for nothing it holds. So does a file that is Windows' own.
void AddFolder(CleanerContext& context, ProductFiles& product, const std::wstring& folder) {
  if (folder.empty() || VouchesForNothing(context, folder, true)) return;
  for (std::wstring& form : ComparableForms(context, folder)) product.folders.push_back(std::move(form));
}

void AddFile(CleanerContext& context, ProductFiles& product, const std::wstring& file) {
  if (VouchesForNothing(context, file, false)) return;
  for (std::wstring& form : ComparableForms(context, file)) product.files.push_back(std::move(form));
}

void ReadRuleFileEntries(CleanerContext& context, ProductFiles& product) {
  try {
    LineFile file;
    file.OpenForReading(context.state.RuleFilePath);
    const RuleSection* section = nullptr;
    while (!file.AtEnd()) {
      const std::string line = ReadRuleLine(file, context.state);
      if (!section) {
        section = RuleSectionOpenedBy(line);
        if (section && section->kind != RuleSectionKind::DeleteFolder && section->kind != RuleSectionKind::DeleteFile) {
          section = nullptr;  // its entries name keys; only its end marker matters, and it opens nothing
        }
        continue;
      }
      if (line == section->endMarker) {
        section = nullptr;
      } else if (!line.empty() && line.find('\0') == std::string::npos && PlainPathProblem(std::string_view(line)).empty()) {
        const std::wstring path = WideFromAnsi(line);
        section->kind == RuleSectionKind::DeleteFolder ? AddFolder(context, product, path) : AddFile(context, product, path);
      }
    }
  } catch (...) {
    // An unreadable rule file names no product files: only the run's folders count.
  }
}

const ProductFiles& TheProductFiles(CleanerContext& context) {
  if (!context.productFiles) {
    auto product = std::make_shared<ProductFiles>();
    AddFolder(context, *product, WideFromAnsi(context.state.ProgramFolder));
    AddFolder(context, *product, WideFromAnsi(context.state.SharedFolder));
    ReadRuleFileEntries(context, *product);
    context.productFiles = std::move(product);
  }
  return *context.productFiles;
}

// The file, found already, unless it is the product's; in ordinary form.
std::wstring ForeignIf(CleanerContext& context, const std::wstring& file) {
  if (file.empty() || IsProductFile(context, file)) return {};
  return OrdinaryPath(file);
}

std::wstring CommandFile(CleanerContext& context, const std::wstring& command, bool native) {
  if (command.empty()) return {};
  const FileProbe exists = [&context](const std::wstring& path) { return Exists(context, path); };
  return ResolveCommandFile(ExpandedAsRead(command, native), SearchFolders(context), exists);
}

std::wstring PathFile(CleanerContext& context, const std::wstring& path, const wchar_t* extension, bool native) {
  if (path.empty()) return {};
  const FileProbe exists = [&context](const std::wstring& candidate) { return Exists(context, candidate); };
  return ResolvePathFile(ExpandedAsRead(path, native), extension, SearchFolders(context), exists);
}

// The existing file the registration key names, found as Windows finds it; empty when none.
std::wstring RegistrationFile(CleanerContext& context, RegistrationKind kind, HKEY key, const std::wstring& name,
                              bool native) {
  switch (kind) {
    case RegistrationKind::None: return {};
    case RegistrationKind::Service: {
      // The service manager is a 64-bit process on 64-bit Windows. A service in a shared host
      // process (svchost.exe) is its library.
      std::wstring library = StringValue(key, L"Parameters", L"ServiceDll");
      if (library.empty()) library = StringValue(key, nullptr, L"ServiceDll");
      if (!library.empty()) return PathFile(context, library, L".dll", true);
      const std::wstring image = StringValue(key, nullptr, L"ImagePath");
      if (!image.empty()) return CommandFile(context, image, true);
      constexpr DWORD kDriverTypes = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER;
      // A driver without an image path is loaded from its default place.
      if ((NumberValue(key, L"Type") & kDriverTypes) != 0) {
        return PathFile(context, L"System32\\drivers\\" + name + L".sys", L".sys", true);
      }
      return {};
    }
    case RegistrationKind::ComClass: {
      const std::wstring library = StringValue(key, L"InprocServer32", nullptr);
      if (!library.empty()) return PathFile(context, library, L".dll", native);
      return CommandFile(context, StringValue(key, L"LocalServer32", nullptr), native);
    }
    case RegistrationKind::AppPath: return PathFile(context, StringValue(key, nullptr, nullptr), L".exe", native);
  }
  return {};
}

// Whether the registration at subKey of HKEY_LOCAL_MACHINE names an existing file of the product.
bool NamesProductFile(CleanerContext& context, RegistrationKind kind, const std::wstring& subKey,
                      const std::wstring& name, bool native) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | (native ? KEY_WOW64_64KEY : 0), &opened) !=
      ERROR_SUCCESS) {
    return false;
  }
  const UniqueHKey key(opened);
  const std::wstring file = RegistrationFile(context, kind, key.Get(), name, native);
  return !file.empty() && IsProductFile(context, file);
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Whether one of the product's files (a file the rule file deletes, or one inside its folders,
// the first few thousand looked at) has this file name.
bool IsProductProgramName(CleanerContext& context, const std::wstring& name) {
  if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return false;
  const ProductFiles& product = TheProductFiles(context);
  for (const std::wstring& file : product.files) {
    if (SameNameIgnoringCase(file.substr(file.find_last_of(L'\\') + 1), name)) return true;
  }
  constexpr int kLookedAtMost = 5000;
  int looked = 0;
  std::vector<std::wstring> folders(product.folders.begin(), product.folders.end());
  while (!folders.empty() && looked < kLookedAtMost) {
    const std::wstring folder = std::move(folders.back());
    folders.pop_back();
    FolderEnumeration enumeration(folder);
    DirectoryEntry entry;
    while (enumeration.Next(entry) && ++looked < kLookedAtMost) {
      if (entry.name == L"." || entry.name == L".." || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        folders.push_back(folder + L"\\" + entry.name);
      } else if (SameNameIgnoringCase(entry.name, name)) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool PathNamesProductFile(CleanerContext& context, const std::wstring& path, bool native);

namespace {

// Whether the path is one of the product's folders itself (an installation's location).
bool IsProductFolder(CleanerContext& context, const std::wstring& path) {
  const ProductFiles& product = TheProductFiles(context);
  for (const std::wstring& form : ComparableForms(context, path)) {
    for (const std::wstring& folder : product.folders) {
      if (!folder.empty() && folder == form) return true;
    }
  }
  return false;
}

// Whether a string value of the key names the product's file or folder.
bool KeyDataNamesProductFile(CleanerContext& context, HKEY key, bool native) {
  constexpr DWORD kMostValues = 64;
  for (DWORD index = 0; index < kMostValues; ++index) {
    wchar_t name[256] = {};
    DWORD nameSize = 256;
    DWORD type = 0;
    if (RegEnumValueW(key, index, name, &nameSize, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    if (PathNamesProductFile(context, StringValue(key, nullptr, name), native)) return true;
  }
  return false;
}

}  // namespace

bool IsProductFile(CleanerContext& context, const std::wstring& file) {
  const ProductFiles& product = TheProductFiles(context);
  for (const std::wstring& path : ComparableForms(context, file)) {
    for (const std::wstring& folder : product.folders) {
      if (!folder.empty() && IsBelowFolder(path, folder)) return true;
    }
    for (const std::wstring& named : product.files) {
      if (named == path) return true;
    }
  }
  return false;
}

std::wstring ForeignFileOfRegistration(CleanerContext& context, RegistrationKind kind, HKEY key,
                                       const std::wstring& name, bool native) {
  return ForeignIf(context, RegistrationFile(context, kind, key, name, native));
}

std::wstring ForeignFileOfCommand(CleanerContext& context, const std::wstring& command, bool native) {
  return ForeignIf(context, CommandFile(context, command, native));
}

bool PathNamesProductFile(CleanerContext& context, const std::wstring& path, bool native) {
  if (path.empty()) return false;
  const std::wstring expanded = ExpandedAsRead(path, native);
  // An icon is "file,index"; a path in quotes is the path.
  std::wstring plain = expanded.substr(0, expanded.find(L','));
  if (plain.size() >= 2 && plain.front() == L'"') plain = plain.substr(1, plain.find(L'"', 1) - 1);
  if (plain.empty()) return false;
  if (IsProductFile(context, plain) || IsProductFolder(context, plain)) return true;
  return CommandNamesProductFile(context, expanded, native);
}

bool CommandNamesProductFile(CleanerContext& context, const std::wstring& command, bool native) {
  if (command.empty()) return false;
  // A file of the product counts where it is gone too; each candidate is asked once.
  const FileProbe product = [&context](const std::wstring& candidate) {
    return IsProductFile(context, candidate) && (Exists(context, candidate) || !IsExistingFolderWide(candidate));
  };
  const std::wstring file = ResolveCommandFile(ExpandedAsRead(command, native), SearchFolders(context), product);
  return !file.empty();
}

bool HasProductEvidence(CleanerContext& context, Evidence evidence, HKEY key, const std::wstring& name, bool native) {
  switch (evidence) {
    case Evidence::None: return false;
    case Evidence::ProductService:
      return NamesProductFile(context, RegistrationKind::Service, L"SYSTEM\\CurrentControlSet\\Services\\" + name, name,
                              native);
    case Evidence::ProductClass:
      return NamesProductFile(context, RegistrationKind::ComClass, L"SOFTWARE\\Classes\\CLSID\\" + name, name, native);
    case Evidence::ProductProgram: return IsProductProgramName(context, name);
    case Evidence::ProductData: return KeyDataNamesProductFile(context, key, native);
  }
  return false;
}
