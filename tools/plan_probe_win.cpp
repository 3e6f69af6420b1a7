#include <windows.h>

#include "tools/plan_probe.h"

#include "platform/files.h"
#include "platform/files_paths.h"
#include "platform/handles.h"
#include "platform/process_services.h"
#include "platform/text_rules.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

// Read access only; a path with leading backslashes is taken from the root.
UniqueHKey OpenForReading(RegistryRoot root, const std::string& keyPath) {
  const auto start = keyPath.find_first_not_of('\\');
  const std::string path = start == std::string::npos ? std::string() : keyPath.substr(start);
  UniqueHKey key;
  if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) key.Release();
  return key;
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

TargetState KeyStateNow(RegistryRoot root, const std::string& keyPath) {
  const UniqueHKey key = OpenForReading(root, keyPath);
  TargetState state = Known(key.Valid());
  DWORD subKeys = 0;
  if (key && RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    state.count = subKeys;
    state.countNoun = "subkeys";
  }
  return state;
}

TargetState KeyStateNow(const std::string& keyName) {
  const DeleteKeyEntry key = ParseDeleteKeyEntry(keyName);
  return KeyStateNow(key.root, key.keyPath);
}

TargetState ValueStateNow(RegistryRoot root, const std::string& keyPath, const std::string& valueName) {
  const UniqueHKey key = OpenForReading(root, keyPath);
  return Known(key && RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS);
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
