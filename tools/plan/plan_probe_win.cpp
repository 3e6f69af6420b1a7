#include <windows.h>

#include "tools/plan/plan_probe.h"

#include "engine/rules/registry_entry_win.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/processes/process_services.h"
#include "platform/registry/registry_views.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

namespace {

// Read access only, in the given registry view; a path with leading backslashes is taken
// from the root.
UniqueHKey OpenForReading(RegistryRoot root, const std::wstring& keyPath, REGSAM view = 0) {
  const auto start = keyPath.find_first_not_of(L'\\');
  const std::wstring path = start == std::wstring::npos ? std::wstring() : keyPath.substr(start);
  HKEY opened = nullptr;
  if (RegOpenKeyExW(RootKeyOf(root), path.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return UniqueHKey();
  return UniqueHKey(opened);
}

TargetState Known(bool exists) {
  TargetState state;
  state.known = true;
  state.exists = exists;
  return state;
}

bool IsFolderEntry(const DirectoryEntry& entry) { return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(const DirectoryEntry& entry) { return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

}  // namespace

TargetState FileStateNow(const std::string& path) { return Known(IsExistingFile(path)); }
TargetState FileStateNow(const std::wstring& path) { return Known(IsExistingFileWide(path)); }

TargetState KeyStateNow(RegistryRoot root, const std::wstring& keyPath, REGSAM view) {
  const UniqueHKey key = OpenForReading(root, keyPath, view);
  TargetState state = Known(key.Valid());
  DWORD subKeys = 0;
  if (key && RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    state.count = subKeys;
    state.countNoun = "subkeys";
  }
  return state;
}

TargetState KeyStateNow(RegistryRoot root, const std::string& keyPath) {
  return KeyStateNow(root, WideFromAnsi(keyPath));
}

TargetState KeyStateNow(std::wstring_view keyName) {
  REGSAM view = 0;
  if (keyName.starts_with(k64BitViewLabelWide)) {
    keyName.remove_prefix(k64BitViewLabelWide.size());
    view = KEY_WOW64_64KEY;
  }
  const auto slash = keyName.find(L'\\');
  const std::wstring rootName(keyName.substr(0, slash));
  const std::wstring keyPath = slash == std::wstring_view::npos ? std::wstring() : std::wstring(keyName.substr(slash + 1));
  return KeyStateNow(RootOfEntry(AnsiFromWide(rootName) + "\\"), keyPath, view);
}

TargetState ValueStateNow(RegistryRoot root, const std::string& keyPath, const std::string& valueName) {
  const UniqueHKey key = OpenForReading(root, WideFromAnsi(keyPath));
  return Known(key && RegQueryValueExW(key.Get(), WideFromAnsi(valueName).c_str(), nullptr, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS);
}

TargetState ProcessStateNow(const std::string& exeName) {
  long long running = 0;
  for (const ProcessEntry& process : TakeProcessSnapshot()) {
    if (EqualsIgnoringAsciiCase(process.exeFile, exeName)) ++running;
  }
  TargetState state = Known(running > 0);
  state.count = running;
  state.countNoun = "processes";
  return state;
}

TargetState FolderCounter::StateNow(const std::wstring& path) {
  std::wstring folder = WithoutTrailingBackslashes(path);
  TargetState state = Known(IsExistingFolderWide(folder));
  if (state.exists) {
    state.count = FilesBelow(folder);
    state.countNoun = "files";
  }
  return state;
}

long long FolderCounter::FilesBelow(const std::wstring& folder) {
  std::wstring key = folder;
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  if (const auto found = counted_.find(key); found != counted_.end()) return found->second;
  long long files = 0;
  FolderEnumeration entries(folder);
  DirectoryEntry entry;
  while (entries.Next(entry)) {
    if (!IsFolderEntry(entry)) {
      ++files;
    } else if (entry.name != L"." && entry.name != L".." && !IsLink(entry)) {
      files += FilesBelow(folder + L"\\" + entry.name);
    }
  }
  counted_[key] = files;
  return files;
}
