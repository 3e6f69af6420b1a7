#include <windows.h>

#include "engine/run/shortcut_removal.h"

#include <vector>

#include "engine/guards/folder_guard.h"
#include "engine/run/deletion.h"
#include "engine/run/profile_folders.h"
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
    startupFolders.push_back(OtherUsersShellFolder(context, registry, other, kUserStartupValue,
                                                   {kDefaultStartupPlaces[0], kDefaultStartupPlaces[1]},
                                                   kForeignStartupText));
  }
  for (const std::string& linkName : kStartupLinkNames) {
    if (linkName.empty()) continue;
    for (const std::wstring& folder : startupFolders) DeleteStartupLink(context, folder, linkName);
  }
  registry.CloseCurrentKey();
}
