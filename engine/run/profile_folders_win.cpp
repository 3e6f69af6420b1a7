#include <windows.h>

#include "engine/run/profile_folders.h"

#include "engine/guards/folder_guard.h"
#include "engine/run/shortcut_removal.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/registry/registry_accessor.h"
#include "platform/text/wide_text.h"

namespace {

// Whether path (a folder, or where one would be) lies strictly inside the profile folder,
// judged by what each existing folder on the way up is, where its links lead, not by how the
// two are written: a second drive letter, a short name or a link change the text and not the
// folder.
bool LiesInsideProfile(const std::wstring& path, const std::wstring& profile) {
  const auto profileFacts = FactsOfPath(profile);
  if (!profileFacts) return false;
  std::wstring at = OrdinaryPath(WithoutTrailingBackslashes(path));
  for (bool itself = true;; itself = false) {
    if (const auto facts = FactsOfPath(at)) {
      if (!itself && facts->identity == profileFacts->identity) return true;
      if (!facts->finalPath.empty()) at = WithoutTrailingBackslashes(OrdinaryPath(facts->finalPath));
    }
    const std::size_t cut = at.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 2 || at.size() <= 3) return false;
    at.resize(cut == 2 ? 3 : cut);  // a drive root keeps its backslash
  }
}

// The hive's Shell Folders value as stored (UTF-16: a profile such as C:\Users\Łukasz keeps its
// name whatever the ANSI code page); empty when the key or the value is missing.
std::wstring ShellFolderValue(RegistryAccessor& registry, const UserHive& user, const char* value) {
  registry.SelectRoot(HKEY_USERS);
  std::wstring folder;
  const std::wstring name = WideFromAnsi(value);
  if (registry.OpenExistingKey(L"\\" + WideFromAnsi(user.keyName) + WideFromAnsi(kUserShellFoldersKey), KeyAccess::Read) ==
          ERROR_SUCCESS &&
      registry.HasValue(name)) {
    folder = registry.ReadStringValue(name);
  }
  registry.CloseCurrentKey();
  return folder;
}

// The rule pass names folders in the ANSI code page; a folder it cannot name exactly is listed
// rather than turned into a look-alike.
std::string RuleFolderOf(CleanerContext& context, const std::wstring& folder, const UserHive& user) {
  if (folder.empty()) return {};
  if (const auto exact = ExactAnsiFromWide(folder)) return *exact;
  AddInfo(context, kUnnamedShellFolderText + AnsiFromWide(folder) + kOfUserText + user.sid);
  return {};
}

}  // namespace

std::wstring OtherUsersShellFolder(CleanerContext& context, RegistryAccessor& registry, const UserHive& user,
                                   const char* value, std::initializer_list<const char*> defaultPlaces,
                                   const char* refusedText) {
  const std::wstring folder = ShellFolderValue(registry, user, value);
  if (folder.empty()) {
    for (const char* place : defaultPlaces) {
      const std::wstring candidate = user.profileFolderWide + WideFromAnsi(place);
      if (IsExistingFolderWide(candidate)) return candidate;
    }
    return {};
  }
  if (!PlainPathProblem(std::wstring_view(folder)).empty() || !LiesInsideProfile(folder, user.profileFolderWide)) {
    AddInfo(context, refusedText + AnsiFromWide(folder) + kOfUserText + user.sid);
    return {};
  }
  return IsExistingFolderWide(folder) ? folder : std::wstring();
}

void AddOtherUsersDataFolders(CleanerContext& context, std::vector<UserDataFolders>& folders) {
  if (context.userHives.empty()) return;
  RegistryAccessor registry(context.effects);
  for (const UserHive& user : context.userHives) {
    UserDataFolders profile;
    profile.owner = user.sid;
    profile.roaming = RuleFolderOf(context,
                                   OtherUsersShellFolder(context, registry, user, kUserRoamingValue,
                                                         {kDefaultRoamingPlaces[0], kDefaultRoamingPlaces[1]},
                                                         kForeignShellFolderText),
                                   user);
    profile.local = RuleFolderOf(context,
                                 OtherUsersShellFolder(context, registry, user, kUserLocalValue,
                                                       {kDefaultLocalPlaces[0], kDefaultLocalPlaces[1]},
                                                       kForeignShellFolderText),
                                 user);
    folders.push_back(std::move(profile));
  }
}
