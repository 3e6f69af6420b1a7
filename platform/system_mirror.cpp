#include "platform/system_mirror.h"

#include "platform/files_paths.h"

std::wstring InRealSystemFolder(const SystemMirror& mirror, std::wstring_view path) {
  if (mirror.nativeFolder.empty() || mirror.systemFolder.empty()) return {};
  const std::wstring system = WithoutTrailingBackslashes(mirror.systemFolder);
  if (!IsBelowFolder(path, system)) return {};
  return WithoutTrailingBackslashes(mirror.nativeFolder) + std::wstring(path.substr(system.size()));
}

bool IsInRealSystemFolder(const SystemMirror& mirror, std::wstring_view path) {
  return !mirror.nativeFolder.empty() && IsBelowFolder(OrdinaryPath(path), WithoutTrailingBackslashes(mirror.nativeFolder));
}
