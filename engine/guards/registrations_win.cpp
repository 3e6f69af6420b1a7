#include <windows.h>

#include "engine/guards/registrations_win.h"

#include <memory>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/folder_guard.h"
#include "engine/rules/rule_file.h"
#include "engine/rules/rule_sections.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/line_file.h"
#include "platform/files/system_mirror.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

namespace {

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The comparison form: full, ordinary, without trailing backslashes, upper case.
std::wstring Comparable(const std::wstring& path) {
  if (path.empty()) return {};
  const std::wstring full = FullPathWide(path);
  return Upper(WithoutTrailingBackslashes(OrdinaryPath(full.empty() ? path : full)));
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

// A file as Windows reads the name a registration holds: environment strings expanded, the
// NT forms "\??\C:\..." and "\SystemRoot\..." read, a relative path taken from the Windows
// folder (as the service manager takes "System32\drivers\x.sys"), a bare name looked up in
// the System and the Windows folder.
std::wstring ResolvedFile(CleanerContext& context, std::wstring file) {
  file = ExpandedEnvironmentText(file);
  if (file.starts_with(L"\\??\\")) file.erase(0, 4);
  const std::wstring windows = WindowsFolderWide(context);
  if (Upper(file.substr(0, 12)) == L"\\SYSTEMROOT\\") file = windows + file.substr(11);
  if (file.empty() || IsFullPath(file)) return file;
  if (file.find(L'\\') != std::wstring::npos) return windows + L"\\" + file;
  for (const std::wstring& folder : {WideFromAnsi(SystemFolder()), windows}) {
    const std::wstring candidate = folder + L"\\" + file;
    if (IsExistingFileWide(candidate)) return candidate;
  }
  return WideFromAnsi(SystemFolder()) + L"\\" + file;
}

// Whether the file is there: in the System folder of 64-bit Windows also where the program's
// view (SysWOW64) does not show it, in the real System32.
bool Exists(CleanerContext& context, const std::wstring& file) {
  if (IsExistingFileWide(file)) return true;
  if (!context.systemMirror) context.systemMirror = CurrentSystemMirror();
  const std::wstring native = InRealSystemFolder(*context.systemMirror, OrdinaryPath(file));
  return !native.empty() && IsExistingFileWide(native);
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
        (section->kind == RuleSectionKind::DeleteFolder ? product.folders : product.files)
            .push_back(Comparable(WideFromAnsi(line)));
      }
    }
  } catch (...) {
    // An unreadable rule file names no product files: only the run's folders count.
  }
}

const ProductFiles& TheProductFiles(CleanerContext& context) {
  if (!context.productFiles) {
    auto product = std::make_shared<ProductFiles>();
    product->programFolder = Comparable(WideFromAnsi(context.state.ProgramFolder));
    product->sharedFolder = Comparable(WideFromAnsi(context.state.SharedFolder));
    ReadRuleFileEntries(context, *product);
    context.productFiles = std::move(product);
  }
  return *context.productFiles;
}

std::wstring ForeignIfExisting(CleanerContext& context, const std::wstring& named) {
  if (named.empty()) return {};
  const std::wstring file = ResolvedFile(context, named);
  if (!Exists(context, file) || IsProductFile(context, file)) return {};
  return OrdinaryPath(file);
}

}  // namespace

bool IsProductFile(CleanerContext& context, const std::wstring& file) {
  const std::wstring path = Comparable(file);
  const ProductFiles& product = TheProductFiles(context);
  for (const std::wstring* folder : {&product.programFolder, &product.sharedFolder}) {
    if (!folder->empty() && IsBelowFolder(path, *folder)) return true;
  }
  for (const std::wstring& folder : product.folders) {
    if (!folder.empty() && IsBelowFolder(path, folder)) return true;
  }
  for (const std::wstring& named : product.files) {
    if (named == path) return true;
  }
  return false;
}

std::wstring ForeignFileOfRegistration(CleanerContext& context, RegistrationKind kind, HKEY key,
                                       const std::wstring& name) {
  switch (kind) {
    case RegistrationKind::None: return {};
    case RegistrationKind::Service: {
      // A service in a shared host process (svchost.exe) is its library.
      std::wstring library = StringValue(key, L"Parameters", L"ServiceDll");
      if (library.empty()) library = StringValue(key, nullptr, L"ServiceDll");
      if (!library.empty()) return ForeignIfExisting(context, library);
      const std::wstring image = StringValue(key, nullptr, L"ImagePath");
      if (!image.empty()) return ForeignIfExisting(context, ProgramFileOfCommand(image));
      constexpr DWORD kDriverTypes = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER;
      // A driver without an image path is loaded from its default place.
      if ((NumberValue(key, L"Type") & kDriverTypes) != 0) {
        return ForeignIfExisting(context, L"System32\\drivers\\" + name + L".sys");
      }
      return {};
    }
    case RegistrationKind::ComClass: {
      std::wstring server = StringValue(key, L"InprocServer32", nullptr);
      if (server.empty()) server = StringValue(key, L"LocalServer32", nullptr);
      return ForeignIfExisting(context, ProgramFileOfCommand(server));
    }
    case RegistrationKind::AppPath: return ForeignIfExisting(context, ProgramFileOfCommand(StringValue(key, nullptr, nullptr)));
  }
  return {};
}

std::wstring ForeignFileOfCommand(CleanerContext& context, const std::wstring& command) {
  return ForeignIfExisting(context, ProgramFileOfCommand(command));
}
