#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>

#include "platform/errors.h"
#include "platform/files/std_file_source.h"
#include "platform/handles.h"
#include "platform/registry/registry_views.h"
#include "platform/registry/user_hives_win.h"
#include "platform/text/wide_text.h"
#include "startup/folder_discovery.h"
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

bool Exists(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring StringValue(HKEY root, const wchar_t* key, const wchar_t* name) {
  UniqueHKey opened;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, opened.Put()) != ERROR_SUCCESS) return {};
  wchar_t data[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = MAX_PATH * sizeof(wchar_t);
  if (RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return data;
}

constexpr wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The product's shared folder as the cleaner's start-up finds it: ZDN Shared Files, else Velmora
// Lab in Common Files; the product's SharedFiles key's Folder wins, and without it QRV Shared
// Files where that key and folder exist.
std::wstring CleanersSharedFolder(const std::wstring& commonFiles) {
  if (commonFiles.empty()) return {};
  std::wstring shared = commonFiles + WideFromAnsi(kZdnSharedFiles);
  if (!Exists(shared)) shared = commonFiles + WideFromAnsi(kVelmoraLab);
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\VelmoraLab\\SharedFiles", 0, KEY_QUERY_VALUE, key.Put()) ==
      ERROR_SUCCESS) {
    const std::wstring folder = StringValue(HKEY_LOCAL_MACHINE, L"Software\\VelmoraLab\\SharedFiles", L"Folder");
    if (!folder.empty()) return folder;
    if (Exists(commonFiles + WideFromAnsi(kQrvSharedFiles))) return commonFiles + WideFromAnsi(kQrvSharedFiles);
  }
  return shared;
}

// The Start Menu folder the cleaner's shortcut step removes, where there is one: below the
// common Programs folder (the user's without it), by the product's names.
std::wstring CleanersStartMenuFolder() {
  std::wstring programs = StringValue(HKEY_LOCAL_MACHINE, kShellFolders, L"Common Programs");
  if (programs.empty()) programs = StringValue(HKEY_CURRENT_USER, kShellFolders, L"Programs");
  if (programs.empty()) return {};
  for (const char* name : {kVelmoraAntiVirus, kCorvantix}) {
    if (Exists(programs + WideFromAnsi(name))) return programs + WideFromAnsi(name);
  }
  return {};
}

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
  places.Fact(kFolderRoaming, ShellFolder(CSIDL_APPDATA));
  places.Fact(kFolderLocal, ShellFolder(CSIDL_LOCAL_APPDATA));
  places.Fact(kFolderShared, CleanersSharedFolder(commonFiles));
  places.Fact(kFolderStartMenu, CleanersStartMenuFolder());

  // Under WOW64 the walk runs with redirection off: the System folder is then the real
  // System32, and the 32-bit one is walked by its own name.
  const std::wstring systemWow64 = RunsOn64BitWindows() ? SystemWow64Folder() : std::wstring();
  places.Fact(kFolderSystemWow64, systemWow64);
  places.Walk(windows, false);
  for (const std::wstring& folder : {std::wstring(system), systemWow64}) {
    if (folder.empty()) continue;
    places.Walk(folder, false);
    places.Walk(folder + L"\\drivers", true);
  }
  for (const std::wstring& folder : {programFiles, commonFiles, otherProgramFiles, otherCommonFiles}) places.Walk(folder, true);
  for (const int csidl : {CSIDL_COMMON_APPDATA, CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA}) {
    places.Walk(ShellFolder(csidl), true);
  }

  const REGSAM machineView = RunsOn64BitWindows() ? KEY_WOW64_64KEY : 0;
  // The 64-bit view holds the 32-bit one's keys below WOW6432Node, for the user's classes too.
  places.keys.push_back({HKEY_CURRENT_USER, L"Software", "HKEY_CURRENT_USER\\Software", machineView});
  places.keys.push_back({HKEY_LOCAL_MACHINE, L"SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE", machineView});
  places.keys.push_back({HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services",
                         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", machineView});
  if (others != nullptr) {
    for (const UserHive& hive : others->Hives()) {
      places.keys.push_back({HKEY_USERS, WideFromAnsi(hive.keyName) + L"\\Software",
                             "HKEY_USERS\\" + hive.sid + "\\Software", machineView});
      const std::wstring& profile = hive.profileFolderWide;
      places.Fact(kFolderProfile, profile);
      places.Fact(kFolderRoaming, profile + L"\\AppData\\Roaming");
      places.Fact(kFolderLocal, profile + L"\\AppData\\Local");
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
  bool readContent = false;
  for (const std::string& argument : arguments) {
    if (argument == "--all-users") {
      allUsers = true;
    } else if (argument == "--content") {
      readContent = true;
    } else if (path.empty() && !argument.starts_with("-")) {
      path = argument;
    } else {
      err << "RuleTool: snapshot takes FILE [--all-users] [--content]\n";
      return kToolFailed;
    }
  }
  if (path.empty()) {
    err << "RuleTool: snapshot takes FILE [--all-users] [--content]\n";
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
    {
      const FileSystemRedirectionOff redirectionOff;
      WalkFolders(places.walked, writer, readContent);
    }
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
