#include <windows.h>

#include "engine/run/shortcut_removal.h"

#include <vector>

#include "engine/guards/folder_guard.h"
#include "engine/run/deletion.h"
#include "platform/effects.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/registry/registry_accessor.h"
#include "platform/text/wide_text.h"

namespace {

// Reads one Shell Folders value as stored (UTF-16: a profile such as C:\Users\Łukasz keeps its
// name whatever the ANSI code page); empty when the key or the value is missing.
std::wstring StartupFolder(RegistryAccessor& registry, HKEY root, const std::wstring& key, const char* value) {
  registry.SelectRoot(root);
  const std::wstring name = WideFromAnsi(value);
  if (registry.OpenExistingKey(key, KeyAccess::Read) == ERROR_SUCCESS && registry.HasValue(name)) {
    return registry.ReadStringValue(name);
  }
  return {};
}

// Deletes one shortcut named in UTF-16, so that its Windows-1251 name means the same file
// whatever the ANSI code page. Without a folder nothing is touched: the bare name would
// point into the root of the current drive.
void DeleteStartupLink(CleanerContext& context, const std::wstring& folder, const std::string& linkName) {
  if (folder.empty()) return;
  const std::wstring path = folder + L"\\" + WideFromAnsi(linkName, kStartupLinkNamesCodePage);
  if (!IsExistingFileWide(path)) return;
  (void)context.effects.SetAttributes(path, FILE_ATTRIBUTE_ARCHIVE);  // a failure shows in the deletion
  const DWORD error = context.effects.RemoveFile(path);
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && error != kBackupRefusedCode) AddInfo(context, kFileNotDeletedText + AnsiFromWide(path));
}

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

// Another user's Startup folder: the hive's value when it is a plain drive path of a folder
// inside that user's profile; where the hive has none, the folder's default place in the
// profile. A value elsewhere (the System folder, a share) is listed and never opened: a hive
// can be written by its user, and the run has the rights of an administrator. Empty when
// there is no folder to look in.
std::wstring OtherUsersStartupFolder(CleanerContext& context, RegistryAccessor& registry, const UserHive& user) {
  const std::wstring folder = StartupFolder(registry, HKEY_USERS, L"\\" + WideFromAnsi(user.keyName) +
                                                                      WideFromAnsi(kUserShellFoldersKey),
                                            kUserStartupValue);
  registry.CloseCurrentKey();
  if (folder.empty()) {
    for (const char* place : kDefaultStartupPlaces) {
      const std::wstring candidate = user.profileFolderWide + WideFromAnsi(place);
      if (IsExistingFolderWide(candidate)) return candidate;
    }
    return {};
  }
  if (!PlainPathProblem(std::wstring_view(folder)).empty() || !LiesInsideProfile(folder, user.profileFolderWide)) {
    AddInfo(context, kForeignStartupText + AnsiFromWide(folder) + kOfUserText + user.sid);
    return {};
  }
  return IsExistingFolderWide(folder) ? folder : std::wstring();
}

}  // namespace

void RemoveShortcuts(CleanerContext& context) {
  if (!context.state.StartMenuFolder.empty()) DeleteFolderTree(context, context.state.StartMenuFolder);

  RegistryAccessor registry(context.effects);
  const std::wstring userStartup =
      StartupFolder(registry, HKEY_CURRENT_USER, WideFromAnsi(kUserShellFoldersKey), kUserStartupValue);
  const std::wstring commonStartup =
      StartupFolder(registry, HKEY_LOCAL_MACHINE, WideFromAnsi(kCommonShellFoldersKey), kCommonStartupValue);

  std::vector<std::wstring> startupFolders{userStartup, commonStartup};
  for (const UserHive& other : context.userHives) {
    startupFolders.push_back(OtherUsersStartupFolder(context, registry, other));
  }
  for (const std::string& linkName : kStartupLinkNames) {
    if (linkName.empty()) continue;
    for (const std::wstring& folder : startupFolders) DeleteStartupLink(context, folder, linkName);
  }
  registry.CloseCurrentKey();
}
