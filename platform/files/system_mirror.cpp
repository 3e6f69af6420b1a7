#include "platform/files/system_mirror.h"

#include "platform/files/files_paths.h"

// A folder entry may end in backslashes ("%winsys%\\QRV\\"): they name the same folder.
std::wstring InRealSystemFolder(const SystemMirror& mirror, std::wstring_view entry) {
  if (mirror.nativeFolder.empty() || mirror.systemFolder.empty()) return {};
  const std::wstring path = WithoutTrailingBackslashes(std::wstring(entry));
  const std::wstring system = WithoutTrailingBackslashes(mirror.systemFolder);
  if (!IsBelowFolder(path, system)) return {};
  return WithoutTrailingBackslashes(mirror.nativeFolder) + path.substr(system.size());
}

bool IsInRealSystemFolder(const SystemMirror& mirror, std::wstring_view path) {
  return !mirror.nativeFolder.empty() && IsBelowFolder(OrdinaryPath(path), WithoutTrailingBackslashes(mirror.nativeFolder));
}

std::wstring InNativeProgramFolder(const SystemMirror& mirror, std::wstring_view entry) {
  const std::wstring path = WithoutTrailingBackslashes(std::wstring(entry));
  for (const FolderTwin& pair : mirror.programFolders) {
    if (pair.folder.empty() || pair.twin.empty()) continue;
    const std::wstring folder = WithoutTrailingBackslashes(pair.folder);
    if (IsBelowFolder(path, folder)) return WithoutTrailingBackslashes(pair.twin) + path.substr(folder.size());
  }
  return {};
}

bool IsInNativeProgramFolder(const SystemMirror& mirror, std::wstring_view path) {
  const std::wstring ordinary = OrdinaryPath(path);
  for (const FolderTwin& pair : mirror.programFolders) {
    if (!pair.twin.empty() && IsBelowFolder(ordinary, WithoutTrailingBackslashes(pair.twin))) return true;
  }
  return false;
}
