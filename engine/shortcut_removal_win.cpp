#include <windows.h>

#include "engine/shortcut_removal.h"

#include "engine/deletion.h"
#include "platform/effects.h"
#include "platform/files.h"
#include "platform/registry_accessor.h"

namespace {

std::string AnsiFromWide(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, out.data(), size, nullptr, nullptr);
  return out;
}

// Reads one Shell Folders value; empty when the key or the value is missing.
std::string StartupFolder(RegistryAccessor& registry, HKEY root, const char* key, const char* value) {
  registry.SelectRoot(root);
  if (registry.OpenExistingKey(key) && registry.HasValue(value)) return registry.ReadStringValue(value);
  return {};
}

// Deletes one shortcut named in UTF-16, so that its Windows-1251 name means the same file
// whatever the ANSI code page. Without a folder nothing is touched: the bare name would
// point into the root of the current drive.
void DeleteStartupLink(CleanerContext& context, const std::string& folder, const std::string& linkName) {
  if (folder.empty()) return;
  const std::wstring path =
      WideFromCodePage(folder, CP_ACP) + L"\\" + WideFromCodePage(linkName, kStartupLinkNamesCodePage);
  if (!IsExistingFileWide(path)) return;
  context.effects.SetAttributesWide(path, FILE_ATTRIBUTE_ARCHIVE);
  if (!context.effects.RemoveFileWide(path)) AddInfo(context, kFileNotDeletedText + AnsiFromWide(path));
}

}  // namespace

void RemoveShortcuts(CleanerContext& context) {
  if (!context.state.StartMenuFolder.empty()) DeleteFolderTree(context, context.state.StartMenuFolder);

  RegistryAccessor registry(context.effects);
  const std::string userStartup = StartupFolder(registry, HKEY_CURRENT_USER, kUserShellFoldersKey, kUserStartupValue);
  const std::string commonStartup =
      StartupFolder(registry, HKEY_LOCAL_MACHINE, kCommonShellFoldersKey, kCommonStartupValue);

  for (const std::string& linkName : kStartupLinkNames) {
    if (linkName.empty()) continue;
    DeleteStartupLink(context, userStartup, linkName);
    DeleteStartupLink(context, commonStartup, linkName);
  }
  registry.CloseCurrentKey();
}
