#include <windows.h>
// The known-folder IDs are defined here rather than taken from a GUID library.
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "engine/guards/folder_safety.h"

#include <algorithm>
#include <array>
#include <set>

#include "engine/cleaner_context.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/windows_places.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

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

// The Windows, System, Program Files, Common Files, ProgramData, Users and Public folders,
// and every folder of the shell the known-folder API names for this user or for all users.
const std::array<const KNOWNFOLDERID*, 54> kKnownFolders = {
    &FOLDERID_Windows, &FOLDERID_System, &FOLDERID_SystemX86, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
    &FOLDERID_ProgramFilesX64, &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86,
    &FOLDERID_ProgramFilesCommonX64, &FOLDERID_ProgramData, &FOLDERID_UserProfiles, &FOLDERID_Public,
    &FOLDERID_Profile, &FOLDERID_Fonts, &FOLDERID_ResourceDir, &FOLDERID_Desktop, &FOLDERID_PublicDesktop,
    &FOLDERID_Documents, &FOLDERID_PublicDocuments, &FOLDERID_Downloads, &FOLDERID_PublicDownloads,
    &FOLDERID_Music, &FOLDERID_PublicMusic, &FOLDERID_Pictures, &FOLDERID_PublicPictures, &FOLDERID_Videos,
    &FOLDERID_PublicVideos, &FOLDERID_Favorites, &FOLDERID_Programs, &FOLDERID_CommonPrograms,
    &FOLDERID_StartMenu, &FOLDERID_CommonStartMenu, &FOLDERID_Startup, &FOLDERID_CommonStartup,
    &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData, &FOLDERID_LocalAppDataLow, &FOLDERID_Templates,
    &FOLDERID_CommonTemplates, &FOLDERID_SendTo, &FOLDERID_Recent, &FOLDERID_NetHood, &FOLDERID_PrintHood,
    &FOLDERID_Cookies, &FOLDERID_History, &FOLDERID_InternetCache, &FOLDERID_AdminTools,
    &FOLDERID_CommonAdminTools, &FOLDERID_PublicGameTasks, &FOLDERID_UserProgramFiles,
    &FOLDERID_UserProgramFilesCommon, &FOLDERID_SavedGames, &FOLDERID_Links, &FOLDERID_Contacts};

constexpr wchar_t kProfileListKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Values of the ProfileList key itself; before Vista "Default" and "AllUsersProfile" hold a
// name inside the profiles folder rather than a full path.
constexpr std::array<const wchar_t*, 5> kProfileFolderValues = {L"ProfilesDirectory", L"Default", L"Public",
                                                                 L"ProgramData", L"AllUsersProfile"};

// Both registry views: on 64-bit Windows a 32-bit program sees the 32-bit one by default.
constexpr std::array<REGSAM, 2> kViews = {0, KEY_WOW64_64KEY};

// Read access only: the folders must be protected for a user without admin rights too.
UniqueHKey OpenForReading(HKEY root, const char* path, REGSAM view) {
  HKEY opened = nullptr;
  UniqueHKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &opened) == ERROR_SUCCESS) key.Reset(opened);
  return key;
}

// A string value's text (expanded when it is REG_EXPAND_SZ); empty for other types.
std::string FolderValue(DWORD type, const std::string& data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::string text = data.substr(0, data.find('\0'));
  return type == REG_EXPAND_SZ ? AnsiFromWide(ExpandedEnvironmentText(WideFromAnsi(text))) : text;
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

UniqueHKey OpenForReadingWide(HKEY root, const wchar_t* path, REGSAM view) {
  HKEY opened = nullptr;
  UniqueHKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &opened) == ERROR_SUCCESS) key.Reset(opened);
  return key;
}

// A string value in UTF-16, expanded when it is REG_EXPAND_SZ; empty for other types.
std::wstring QueryFolderValueWide(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  data.resize(data.find(L'\0'));
  return type == REG_EXPAND_SZ ? ExpandedEnvironmentText(data) : data;
}

// The profiles folder, the shared profiles, and every user's profile folder, whoever is
// signed in: none of them may be emptied by a rule entry.
void AddProfileFolders(std::vector<std::wstring>& out) {
  const UniqueHKey list = OpenForReadingWide(HKEY_LOCAL_MACHINE, kProfileListKey, 0);
  if (!list) return;
  const std::wstring profiles = QueryFolderValueWide(list.Get(), L"ProfilesDirectory");
  for (const wchar_t* name : kProfileFolderValues) {
    const std::wstring folder = QueryFolderValueWide(list.Get(), name);
    if (folder.empty()) continue;
    out.push_back(IsFullPath(folder) || profiles.empty() ? folder : profiles + L"\\" + folder);
  }
  wchar_t sid[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(sid));
    const LONG result = RegEnumKeyExW(list.Get(), index, sid, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // no SID is that long: not a profile
    if (result != ERROR_SUCCESS) break;
    if (const UniqueHKey profile = OpenForReadingWide(list.Get(), sid, 0)) {
      out.push_back(QueryFolderValueWide(profile.Get(), L"ProfileImagePath"));
    }
  }
}

// The shell's folders inside a profile, as Windows since Vista and before it place them; each
// profile's are protected whether or not its user is known to ProfileList.
constexpr std::array<const wchar_t*, 26> kProfileShellFolders = {
    L"Desktop", L"Documents", L"Downloads", L"Music", L"Pictures", L"Videos", L"Favorites", L"Contacts", L"Links",
    L"Saved Games", L"Searches", L"AppData", L"AppData\\Roaming", L"AppData\\Local", L"AppData\\LocalLow",
    L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
    L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
    L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    L"AppData\\Roaming\\Microsoft\\Windows\\SendTo", L"AppData\\Roaming\\Microsoft\\Windows\\Templates",
    L"My Documents", L"Application Data", L"Local Settings", L"Local Settings\\Application Data", L"Start Menu",
    L"Start Menu\\Programs\\Startup"};

std::wstring UpperWide(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Every folder right in the profiles folder is a profile, or the shared profiles: a profile
// of a deleted account, or of one not registered yet, is still a user's. Each of them, and
// every profile ProfileList names, gets the shell's folders: the fixed ones above, and those
// of this user (their places relative to this user's profile) in the same place.
void AddEveryProfilesFolders(std::vector<std::wstring>& out) {
  const UniqueHKey list = OpenForReadingWide(HKEY_LOCAL_MACHINE, kProfileListKey, 0);
  const std::wstring profilesFolder = list ? QueryFolderValueWide(list.Get(), L"ProfilesDirectory") : std::wstring();
  std::vector<std::wstring> profiles;
  if (list) {
    const HKEY key = list.Get();
    wchar_t sid[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(std::size(sid));
      const LONG result = RegEnumKeyExW(key, index, sid, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA) continue;
      if (result != ERROR_SUCCESS) break;
      if (const UniqueHKey profile = OpenForReadingWide(key, sid, 0)) {
        const std::wstring folder = QueryFolderValueWide(profile.Get(), L"ProfileImagePath");
        if (!folder.empty()) profiles.push_back(folder);
      }
    }
  }
  if (!profilesFolder.empty()) {
    FolderEnumeration enumeration(ExtendedPath(FullPathWide(profilesFolder)));
    DirectoryEntry entry;
    while (enumeration.Next(entry)) {
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || entry.name == L"." || entry.name == L"..") continue;
      profiles.push_back(WithoutTrailingBackslashes(profilesFolder) + L"\\" + entry.name);
    }
  }
  // This user's shell folders, as places relative to this user's profile.
  std::vector<std::wstring> relative(kProfileShellFolders.begin(), kProfileShellFolders.end());
  const std::wstring own = UpperWide(WithoutTrailingBackslashes(ExpandedEnvironmentText(L"%USERPROFILE%")));
  if (!own.empty() && own.front() != L'%') {
    for (const std::wstring& folder : out) {
      const std::wstring upper = UpperWide(folder);
      if (upper.size() > own.size() + 1 && upper.starts_with(own) && upper[own.size()] == L'\\') {
        relative.push_back(folder.substr(own.size() + 1));
      }
    }
  }
  for (const std::wstring& profile : profiles) {
    out.push_back(profile);
    for (const std::wstring& place : relative) out.push_back(profile + L"\\" + place);
  }
}

// Windows before Vista has no SHGetKnownFolderPath; the registry's lists stand alone there.
void AddKnownFolders(std::vector<std::wstring>& out) {
  using KnownFolderCall = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
  // Loaded from the System folder once and kept for the program's life, as shell32 is.
  static const HMODULE shell = GetModuleHandleW(L"shell32.dll")
                                   ? GetModuleHandleW(L"shell32.dll")
                                   : LoadLibraryW((WideFromAnsi(SystemFolder()) + L"\\shell32.dll").c_str());
  const auto call = shell ? reinterpret_cast<KnownFolderCall>(
                                reinterpret_cast<void*>(GetProcAddress(shell, "SHGetKnownFolderPath")))
                          : nullptr;
  // ole32 from the same place, looked up rather than imported: an import would load it, and
  // the libraries below it, at every start of the program, the window's included.
  using FreeCall = void(WINAPI*)(void*);
  static const HMODULE ole = LoadLibraryW((WideFromAnsi(SystemFolder()) + L"\\ole32.dll").c_str());
  const auto freeMemory =
      ole ? reinterpret_cast<FreeCall>(reinterpret_cast<void*>(GetProcAddress(ole, "CoTaskMemFree"))) : nullptr;
  if (!call || !freeMemory) return;
  for (const KNOWNFOLDERID* id : kKnownFolders) {
    PWSTR path = nullptr;
    // Each folder's default place; where it is now comes from the Shell Folders keys read
    // above. Asked for the current place, shell32 writes it back into the Shell Folders key
    // (measured under Wine): a change the reading of a run, or a dry run, must not make.
    // KF_FLAG_DONT_VERIFY: a folder that does not exist yet is protected all the same.
    const DWORD flags = KF_FLAG_DEFAULT_PATH | KF_FLAG_DONT_VERIFY;
    if (SUCCEEDED(call(*id, flags, nullptr, &path)) && path) out.emplace_back(path);
    freeMemory(path);
  }
}

// Upper case in UTF-16 as the file system compares names, in any alphabet; handed to the
// guard as UTF-8, whose rules look only at the ASCII separators and letters.
std::string UpperForComparison(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return Utf8FromWide(text);
}

// The forms of a path the check compares: as written, as Windows completes it, and its
// long form; all upper case.
std::vector<std::string> ComparisonForms(const std::wstring& path) {
  std::vector<std::string> forms = {UpperForComparison(path)};
  const std::wstring full = FullPathWide(path);
  if (!full.empty()) {
    forms.push_back(UpperForComparison(full));
    // Only a short name has a long form to find (the names Windows makes carry a tilde), and
    // finding it lists every level. A short name set by hand is caught by the identity check.
    if (full.find(L'~') == std::wstring::npos) return forms;
    const std::wstring longName = LongPathOf(full);
    if (!longName.empty()) forms.push_back(UpperForComparison(longName));
  }
  return forms;
}

void AddForm(std::vector<std::string>& folders, std::string form) {
  if (std::find(folders.begin(), folders.end(), form) == folders.end()) folders.push_back(std::move(form));
}

// The folder that holds path ("C:\x\y" gives "C:\x", "C:\x" gives "C:\"); empty above a root.
std::wstring ParentOf(const std::wstring& path) {
  const std::size_t split = path.find_last_of(L'\\');
  if (split == std::wstring::npos || path.size() <= 3) return {};
  return path.substr(0, split < 3 ? 3 : split);
}

// Roots are refused anyway; a blank value must not make one ("C:" plus nothing). The folder
// and every folder above it add their identities, and the path the system gives back for
// the folder its comparison form, so that no other name reaches it.
void AddProtectedFolder(ProtectedFolderSet& set, std::set<std::string>& visited, const std::wstring& folder) {
  if (folder.empty() || IsRootFolder(Utf8FromWide(folder))) return;
  for (auto& form : ComparisonForms(folder)) AddForm(set.folders, std::move(form));
  const std::wstring full = WithoutTrailingBackslashes(FullPathWide(folder));
  for (std::wstring step = full; !step.empty(); step = ParentOf(step)) {
    if (!visited.insert(UpperForComparison(step)).second) break;  // this folder and those above are in
    const auto facts = FactsOfPath(step);
    if (!facts) continue;
    if (!IsProtectedIdentity(facts->identity, set)) set.identities.push_back(facts->identity);
    if (step == full && !facts->finalPath.empty()) AddForm(set.folders, UpperForComparison(facts->finalPath));
  }
}

// The forms a place is compared by: as written, completed, long and as the system gives it
// once opened, each normalised; a root names no place.
void AddPlaceForms(std::vector<std::string>& forms, const std::wstring& folder) {
  if (folder.empty() || IsRootFolder(Utf8FromWide(folder))) return;
  std::vector<std::string> written = ComparisonForms(folder);
  if (const auto facts = FactsOfPath(FullPathWide(folder)); facts && !facts->finalPath.empty()) {
    written.push_back(UpperForComparison(OrdinaryPath(facts->finalPath)));
  }
  for (const std::string& form : written) AddForm(forms, NormalizedFolder(form));
}

// True when what path opens is a protected folder or one above one, however it is named.
bool IsProtectedByIdentity(const ProtectedFolderSet& set, const std::wstring& path) {
  const auto facts = FactsOfPath(path);
  if (!facts) return false;
  if (IsProtectedIdentity(facts->identity, set)) return true;
  return !facts->finalPath.empty() && IsProtectedIndexed(UpperForComparison(facts->finalPath), set);
}

}  // namespace

namespace {

// Windows' own folders inside the Windows folder, the System folders, the Program Files and
// ProgramData folders: no product installs them, and a rule naming one would empty a part of
// Windows (its driver packages, its installer cache, its scheduled tasks, its browser).
void AddBelow(std::vector<std::wstring>& found, const std::string& folder, std::span<const char* const> names) {
  if (folder.empty()) return;
  for (const char* name : names) found.push_back(WideFromAnsi(folder + "\\" + name));
}

// programFilesValues: the Program Files and Common Files folders as the registry names them.
void AddWindowsSubfolders(std::vector<std::wstring>& found, const std::vector<std::string>& programFilesValues) {
  AddBelow(found, WindowsFolder(), WindowsSubfolderNames());
  for (const std::string& system : {SystemFolder(), SystemWow64Folder()}) AddBelow(found, system, SystemSubfolderNames());
  for (const std::string& programs : programFilesValues) AddBelow(found, programs, ProgramFilesSubfolderNames());
  const std::wstring programData = ExpandedEnvironmentText(L"%ProgramData%");
  if (!programData.starts_with(L"%")) AddBelow(found, AnsiFromWide(programData), ProgramDataSubfolderNames());
}

}  // namespace

ProtectedFolderSet GatherProtectedFolders() {
  std::vector<std::wstring> found;
  for (const std::string& folder : {WindowsFolder(), SystemFolder(), SystemWow64Folder()}) {
    found.push_back(WideFromAnsi(folder));
  }
  std::vector<std::string> values;
  for (const REGSAM view : kViews) {
    if (const UniqueHKey key = OpenForReading(HKEY_LOCAL_MACHINE, kCurrentVersionKey, view)) {
      for (const char* name : kProgramFilesValues) values.push_back(QueryFolderValue(key.Get(), name));
    }
    for (const auto& shellKey : kShellFolderKeys) {
      if (const UniqueHKey key = OpenForReading(shellKey.root, shellKey.path, view)) {
        AddEveryFolderValue(key.Get(), values);
      }
    }
  }
  for (const auto& value : values) found.push_back(WideFromAnsi(value));
  AddWindowsSubfolders(found, values);
  ProtectedFolderSet set;
  // The Program Files and Common Files values come first, kProgramFilesValues.size() of each view.
  for (std::size_t view = 0; view < kViews.size(); ++view) {
    for (std::size_t i = 0; i < kProgramFilesValues.size() && view * kProgramFilesValues.size() + i < values.size(); ++i) {
      AddPlaceForms(set.places.programFolders, WideFromAnsi(values[view * kProgramFilesValues.size() + i]));
    }
  }
  AddKnownFolders(found);
  AddProfileFolders(found);
  AddEveryProfilesFolders(found);
  const std::wstring programData = ExpandedEnvironmentText(L"%ProgramData%");
  if (!programData.starts_with(L"%")) AddPlaceForms(set.places.programFolders, programData);
  std::set<std::string> visited;
  // The lists name the same folders many times over (every profile's shell folders, both
  // registry views); each is asked of the file system once, as its long form costs a listing
  // of every level.
  std::set<std::string> seen;
  for (const auto& folder : found) {
    if (seen.insert(UpperForComparison(folder)).second) AddProtectedFolder(set, visited, folder);
  }
  return set;
}

const ProtectedFolderSet& ProtectedFolders(CleanerContext& context) {
  if (!context.protectedFolders) {
    ProtectedFolderSet set = GatherProtectedFolders();
    std::set<std::string> visited;
    const CleanerState& state = context.state;
    for (const auto* known : {&state.WindowsFolder, &state.SystemFolder, &state.ProgramFilesFolder}) {
      AddProtectedFolder(set, visited, WideFromAnsi(*known));
    }
    for (const std::string& windows : {state.WindowsFolder, WindowsFolder()}) {
      AddPlaceForms(set.places.windowsFolders, WideFromAnsi(windows));
    }
    for (const std::string* known : {&state.ProgramFilesFolder, &state.ProgramDataFolder, &state.ProgramFiles64Folder,
                                     &state.CommonFiles64Folder}) {
      AddPlaceForms(set.places.programFolders, WideFromAnsi(*known));
    }
    IndexFolders(set);
    context.protectedFolders = std::make_shared<const ProtectedFolderSet>(std::move(set));
  }
  return *context.protectedFolders;
}

bool IsRefusedFolder(CleanerContext& context, const std::string& path) {
  return IsRefusedFolder(context, WideFromAnsi(path));
}

bool IsRefusedFolder(CleanerContext& context, const std::wstring& wide) {
  const auto& set = ProtectedFolders(context);
  for (const auto& form : ComparisonForms(wide)) {
    if (IsProtectedIndexed(form, set)) return true;
  }
  return IsProtectedByIdentity(set, wide);
}

bool RefuseFolder(CleanerContext& context, const std::string& path) {
  if (!IsRefusedFolder(context, path)) return false;
  AddInfo(context, kRefusedFolderText + path);
  return true;
}

bool RefuseFolder(CleanerContext& context, const std::wstring& path) {
  if (!IsRefusedFolder(context, path)) return false;
  AddInfo(context, kRefusedFolderText + AnsiFromWide(OrdinaryPath(path)));
  return true;
}

bool RefuseOpenedFolder(CleanerContext& context, HANDLE folder, const std::wstring& path) {
  const ProtectedFolderSet& set = ProtectedFolders(context);
  FileIdentity identity;
  bool refused = IdentityOf(folder, identity) && IsProtectedIdentity(identity, set);
  if (!refused) {
    const std::wstring final = FinalPathOf(folder);
    refused = !final.empty() && IsProtectedIndexed(UpperForComparison(OrdinaryPath(final)), set);
  }
  if (refused) AddInfo(context, kRefusedFolderText + AnsiFromWide(OrdinaryPath(path)));
  return refused;
}

bool RefuseFolderIdentity(CleanerContext& context, const FileIdentity& identity, const std::wstring& path) {
  if (!IsProtectedIdentity(identity, ProtectedFolders(context))) return false;
  AddInfo(context, kRefusedFolderText + AnsiFromWide(OrdinaryPath(path)));
  return true;
}

bool RefuseFolderByIdentity(CleanerContext& context, const std::wstring& path) {
  if (!IsProtectedByIdentity(ProtectedFolders(context), path)) return false;
  AddInfo(context, kRefusedFolderText + AnsiFromWide(OrdinaryPath(path)));
  return true;
}
