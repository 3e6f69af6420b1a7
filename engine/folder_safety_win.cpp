#include <windows.h>

#include "engine/folder_safety.h"

#include <algorithm>
#include <array>

#include "engine/cleaner_context.h"
#include "engine/folder_guard.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/wide_text.h"

namespace {

constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr std::array<const char*, 6> kProgramFilesValues = {
    "ProgramFilesDir", "CommonFilesDir", "ProgramFilesDir (x86)", "CommonFilesDir (x86)",
    "ProgramW6432Dir", "CommonW6432Dir"};

// Every value of these keys names a folder of the shell (Programs, Start Menu, Startup,
// Desktop, AppData, Personal, their Common forms, and the rest).
struct ShellFolderKey {
  HKEY root;
  const char* path;
};
const std::array<ShellFolderKey, 4> kShellFolderKeys = {{
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
}};

// Both registry views: on 64-bit Windows a 32-bit program sees the 32-bit one by default.
constexpr std::array<REGSAM, 2> kViews = {0, KEY_WOW64_64KEY};

// Read access only: the folders must be protected for a user without admin rights too.
UniqueHKey OpenForReading(HKEY root, const char* path, REGSAM view) {
  HKEY opened = nullptr;
  UniqueHKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &opened) == ERROR_SUCCESS) key.Reset(opened);
  return key;
}

std::string Expanded(const std::string& text) {
  const DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::string out(size, '\0');
  const DWORD used = ExpandEnvironmentStringsA(text.c_str(), out.data(), size);
  if (used == 0 || used > size) return text;
  out.resize(used - 1);
  return out;
}

// A string value's text (expanded when it is REG_EXPAND_SZ); empty for other types.
std::string FolderValue(DWORD type, const std::string& data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::string text = data.substr(0, data.find('\0'));
  return type == REG_EXPAND_SZ ? Expanded(text) : text;
}

std::string QueryFolderValue(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::string data(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  data.resize(size);
  return FolderValue(type, data);
}

void AddEveryFolderValue(HKEY key, std::vector<std::string>& out) {
  DWORD maxName = 0;
  DWORD maxData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::string name(maxName + 1, '\0');
  std::string data(maxData + 1, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG result = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataSize);
    if (result == ERROR_MORE_DATA) {
      // The key changed since it was measured: retry this index with more room.
      name.resize(name.size() * 2 + 256);
      data.resize(data.size() * 2 + 1024);
      --index;
      continue;
    }
    if (result != ERROR_SUCCESS) break;
    out.push_back(FolderValue(type, data.substr(0, dataSize)));
  }
}

// A kernel32 function that older Windows versions lack, looked up at run time.
template <typename Function>
Function KernelFunction(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

std::string SystemWow64Folder() {
  using Query = UINT(WINAPI*)(LPSTR, UINT);
  static const Query query = KernelFunction<Query>("GetSystemWow64DirectoryA");
  if (!query) return {};
  char buffer[MAX_PATH + 1] = {};
  const UINT length = query(buffer, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : std::string();
}

// The long form of an existing path ("C:\PROGRA~1" names "C:\Program Files"); empty when
// there is none. Windows NT 4.0 has no GetLongPathNameW.
std::wstring LongPathOf(const std::wstring& path) {
  using LongPathCall = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
  static const LongPathCall call = KernelFunction<LongPathCall>("GetLongPathNameW");
  if (!call) return {};
  const DWORD size = call(path.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring out(size, L'\0');
  const DWORD used = call(path.c_str(), out.data(), size);
  if (used == 0 || used >= size) return {};
  out.resize(used);
  return out;
}

// Upper case in UTF-16 as the file system compares names, in any alphabet; handed to the
// guard as UTF-8, whose rules look only at the ASCII separators and letters.
std::string UpperForComparison(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return Utf8FromWide(text);
}

// The forms of a path the check compares: as written, as Windows completes it, and its
// long form; all upper case.
std::vector<std::string> ComparisonForms(const std::string& ansiPath) {
  const std::wstring path = WideFromAnsi(ansiPath);
  std::vector<std::string> forms = {UpperForComparison(path)};
  const std::wstring full = FullPathWide(path);
  if (!full.empty()) {
    forms.push_back(UpperForComparison(full));
    const std::wstring longName = LongPathOf(full);
    if (!longName.empty()) forms.push_back(UpperForComparison(longName));
  }
  return forms;
}

// Roots are refused anyway; a blank value must not make one ("C:" plus nothing).
void AddProtectedFolder(std::vector<std::string>& folders, const std::string& folder) {
  if (IsRootFolder(folder)) return;
  for (auto& form : ComparisonForms(folder)) {
    if (std::find(folders.begin(), folders.end(), form) == folders.end()) folders.push_back(std::move(form));
  }
}

}  // namespace

std::vector<std::string> GatherProtectedFolders() {
  std::vector<std::string> found = {WindowsFolder(), SystemFolder(), SystemWow64Folder()};
  for (const REGSAM view : kViews) {
    if (const UniqueHKey key = OpenForReading(HKEY_LOCAL_MACHINE, kCurrentVersionKey, view)) {
      for (const char* name : kProgramFilesValues) found.push_back(QueryFolderValue(key.Get(), name));
    }
    for (const auto& shellKey : kShellFolderKeys) {
      if (const UniqueHKey key = OpenForReading(shellKey.root, shellKey.path, view)) {
        AddEveryFolderValue(key.Get(), found);
      }
    }
  }
  std::vector<std::string> folders;
  for (const auto& folder : found) AddProtectedFolder(folders, folder);
  return folders;
}

const std::vector<std::string>& ProtectedFolders(CleanerContext& context) {
  if (!context.protectedFolders) {
    std::vector<std::string> folders = GatherProtectedFolders();
    const CleanerState& state = context.state;
    for (const auto* known : {&state.WindowsFolder, &state.SystemFolder, &state.ProgramFilesFolder}) {
      AddProtectedFolder(folders, *known);
    }
    context.protectedFolders = std::move(folders);
  }
  return *context.protectedFolders;
}

bool IsRefusedFolder(CleanerContext& context, const std::string& path) {
  const auto& folders = ProtectedFolders(context);
  for (const auto& form : ComparisonForms(path)) {
    if (IsProtectedFolder(form, folders)) return true;
  }
  return false;
}

bool RefuseFolder(CleanerContext& context, const std::string& path) {
  if (!IsRefusedFolder(context, path)) return false;
  AddInfo(context, kRefusedFolderText + path);
  return true;
}
