#include "tests/e2e/machine_snapshot.h"

#include <tlhelp32.h>

#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "tests/support/seeded_registry.h"

namespace {

const std::string kShellFolders = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void AddTree(const std::wstring& folder, MachineSnapshot& snapshot) {
  WIN32_FIND_DATAW data{};
  const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      snapshot.folders.insert(UpperWide(path));
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) AddTree(path, snapshot);
    } else {
      snapshot.files.insert(UpperWide(path));
    }
  } while (FindNextFileW(find.Get(), &data));
}

std::wstring ValueText(DWORD type, const std::vector<BYTE>& data) {
  std::wstring text = std::to_wstring(type) + L":";
  for (const BYTE byte : data) text += std::to_wstring(byte) + L",";
  return text;
}

void AddKeyTree(HKEY root, const std::wstring& rootName, const std::wstring& path, MachineSnapshot& snapshot) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
  const std::wstring name = UpperWide(rootName + L"\\" + path);
  snapshot.keys.insert(name);
  for (DWORD index = 0;; ++index) {
    wchar_t valueName[16384];
    DWORD nameLength = 16384;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key.Get(), index, valueName, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size);
    nameLength = 16384;
    RegEnumValueW(key.Get(), index, valueName, &nameLength, nullptr, &type, data.data(), &size);
    snapshot.values[name + L"\\" + UpperWide(valueName)] = ValueText(type, data);
  }
  std::vector<std::wstring> children;
  for (DWORD index = 0;; ++index) {
    wchar_t child[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key.Get(), index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(child, length);
  }
  for (const auto& child : children) {
    const std::wstring childPath = path + L"\\" + child;
    // Wine keeps its own passing state there (system parameters of each program started).
    if (UpperWide(childPath) == L"SOFTWARE\\WINE") continue;
    AddKeyTree(root, rootName, childPath, snapshot);
  }
}

void AddProcesses(MachineSnapshot& snapshot) {
  const UniqueKernelHandle list(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(list.Get(), &entry); more; more = Process32NextW(list.Get(), &entry)) {
    snapshot.processes.insert({entry.th32ProcessID, UpperWide(entry.szExeFile)});
  }
}

template <typename Set>
Set Minus(const Set& a, const Set& b) {
  Set out;
  for (const auto& item : a) {
    if (!b.count(item)) out.insert(item);
  }
  return out;
}

}  // namespace

std::wstring UpperWide(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The seeded product's classes among the machine's (the user's lie under Software already).
void AddProductClasses(MachineSnapshot& snapshot) {
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return;
  wchar_t child[256];
  for (DWORD index = 0, length = 256; RegEnumKeyExW(key.Get(), index, child, &length, nullptr, nullptr, nullptr,
                                                     nullptr) == ERROR_SUCCESS; ++index, length = 256) {
    if (std::wstring_view(child).starts_with(L"VelmoraE2E")) {
      AddKeyTree(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\Classes\\" + std::wstring(child), snapshot);
    }
  }
}

MachineSnapshot TakeMachineSnapshot() {
  MachineSnapshot snapshot;
  const std::string currentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  for (const auto& [root, key, value] : {
           std::tuple{HKEY_LOCAL_MACHINE, currentVersion, "ProgramFilesDir"},
           std::tuple{HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"},
           std::tuple{HKEY_LOCAL_MACHINE, kShellFolders, "Common Startup"},
           std::tuple{HKEY_CURRENT_USER, kShellFolders, "Startup"},
       }) {
    if (const auto folder = StringValueForTest(root, key, value)) AddTree(WideFromAnsi(*folder), snapshot);
  }
  AddKeyTree(HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\VelmoraLab", snapshot);
  AddKeyTree(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software", snapshot);
  AddProductClasses(snapshot);
  AddProcesses(snapshot);
  return snapshot;
}

MachineChanges ChangesBetween(const MachineSnapshot& before, const MachineSnapshot& after) {
  MachineChanges changes;
  changes.filesRemoved = Minus(before.files, after.files);
  changes.foldersRemoved = Minus(before.folders, after.folders);
  changes.keysRemoved = Minus(before.keys, after.keys);
  for (const auto& [name, data] : before.values) {
    const std::wstring key = name.substr(0, name.rfind(L'\\'));
    if (!after.values.count(name) && after.keys.count(key)) changes.valuesRemoved.insert(name);
  }
  for (const auto& [name, data] : after.values) {
    const auto old = before.values.find(name);
    if (old == before.values.end() || old->second != data) changes.valuesWritten.insert(name);
  }
  for (const auto& process : Minus(before.processes, after.processes)) changes.processesEnded.insert(process.second);
  for (const auto* kind : {&after.files, &after.folders, &after.keys}) {
    const auto& was = kind == &after.files ? before.files : kind == &after.folders ? before.folders : before.keys;
    for (const auto& name : Minus(*kind, was)) changes.added.insert(name);
  }
  return changes;
}
