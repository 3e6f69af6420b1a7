#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>

#include "platform/errors.h"
#include "platform/files/std_file_source.h"
#include "platform/registry/registry_views.h"
#include "platform/registry/user_hives_win.h"
#include "platform/text/wide_text.h"
#include "tools/rule_tool.h"
#include "tools/snapshot/snapshot_command.h"
#include "tools/snapshot/snapshot_record.h"
#include "tools/snapshot/snapshot_walk.h"

namespace {

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring Trimmed(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

struct Places {
  std::vector<std::pair<std::string, std::wstring>> folders;  // header facts
  std::vector<FolderPlace> walked;
  std::vector<RegistryPlace> keys;

  void Fact(const char* name, const std::wstring& path) {
    if (!path.empty()) folders.emplace_back(name, Trimmed(path));
  }
  void Walk(const std::wstring& path, bool wholeTree) {
    if (!path.empty()) walked.push_back({Trimmed(path), wholeTree});
  }
};

Places GatherPlaces(const UserHives* others) {
  Places places;
  wchar_t windows[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
  const std::wstring commonFiles = ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
  std::wstring otherProgramFiles = Environment(L"ProgramW6432");
  std::wstring otherCommonFiles = Environment(L"CommonProgramW6432");
  if (_wcsicmp(otherProgramFiles.c_str(), programFiles.c_str()) == 0) otherProgramFiles.clear();
  if (_wcsicmp(otherCommonFiles.c_str(), commonFiles.c_str()) == 0) otherCommonFiles.clear();

  places.Fact(kFolderWindows, windows);
  places.Fact(kFolderSystem, system);
  places.Fact(kFolderProgramFiles, programFiles);
  places.Fact(kFolderCommonFiles, commonFiles);
  places.Fact(kFolderOtherProgramFiles, otherProgramFiles);
  places.Fact(kFolderOtherCommonFiles, otherCommonFiles);
  places.Fact(kFolderProgramData, ShellFolder(CSIDL_COMMON_APPDATA));
  places.Fact(kFolderProfile, ShellFolder(CSIDL_PROFILE));

  places.Walk(windows, false);
  places.Walk(system, false);
  places.Walk(std::wstring(system) + L"\\drivers", true);
  for (const std::wstring& folder : {programFiles, commonFiles, otherProgramFiles, otherCommonFiles}) places.Walk(folder, true);
  for (const int csidl : {CSIDL_COMMON_APPDATA, CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA}) {
    places.Walk(ShellFolder(csidl), true);
  }

  const REGSAM machineView = RunsOn64BitWindows() ? KEY_WOW64_64KEY : 0;
  places.keys.push_back({HKEY_CURRENT_USER, L"Software", "HKEY_CURRENT_USER\\Software", 0});
  places.keys.push_back({HKEY_LOCAL_MACHINE, L"SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE", machineView});
  places.keys.push_back({HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services",
                         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", machineView});
  if (others != nullptr) {
    for (const UserHive& hive : others->Hives()) {
      places.keys.push_back({HKEY_USERS, WideFromAnsi(hive.keyName) + L"\\Software",
                             "HKEY_USERS\\" + hive.sid + "\\Software", 0});
      const std::wstring profile = WideFromAnsi(hive.profileFolder);
      places.Fact(kFolderProfile, profile);
      places.Walk(profile + L"\\AppData", true);
    }
  }
  std::sort(places.keys.begin(), places.keys.end(), [](const RegistryPlace& a, const RegistryPlace& b) {
    return CompareRecords({RecordKind::Key, a.name, {}, {}}, {RecordKind::Key, b.name, {}, {}}) < 0;
  });
  return places;
}

}  // namespace

int RunSnapshotCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string path;
  bool allUsers = false;
  for (const std::string& argument : arguments) {
    if (argument == "--all-users") {
      allUsers = true;
    } else if (path.empty() && !argument.starts_with("-")) {
      path = argument;
    } else {
      err << "RuleTool: snapshot takes FILE [--all-users]\n";
      return kToolFailed;
    }
  }
  if (path.empty()) {
    err << "RuleTool: snapshot takes FILE [--all-users]\n";
    return kToolFailed;
  }
  std::optional<UserHives> others;
  if (allUsers) {
    others.emplace();
    for (const std::string& reason : others->NotLoaded()) err << "RuleTool: snapshot leaves out " << reason << "\n";
  }
  const Places places = GatherPlaces(others ? &*others : nullptr);
  try {
    StdFileSink sink(path);
    SnapshotWriter writer(sink, err, [] { return static_cast<std::uint64_t>(GetTickCount64()); });
    for (const auto& [name, folder] : places.folders) writer.Folder(name, Utf8FromWide(folder));
    WalkRegistry(places.keys, writer);
    WalkFolders(places.walked, writer);
    writer.Flush();
    sink.Close();
    out << path << ": " << writer.Count(RecordKind::Key) << " keys, " << writer.Count(RecordKind::Value) << " values, "
        << writer.Count(RecordKind::Directory) << " folders, " << writer.Count(RecordKind::File) << " files\n";
  } catch (const EInOutError& error) {
    std::remove(path.c_str());
    err << "RuleTool: cannot write " << path << ": " << error.Message() << "\n";
    return kToolFailed;
  }
  return kToolDone;
}
