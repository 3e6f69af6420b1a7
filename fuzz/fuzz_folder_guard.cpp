// Any path: its normalised form is stable, a path always guards itself, and a folder below
// a path that names a folder is never taken for it or for a folder above it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/folder_guard.h"

namespace {
void Check(bool condition, const char* what, const std::string& path) {
  if (condition) return;
  std::fprintf(stderr, "%s: [%s]\n", what, path.c_str());
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  const std::string normalised = NormalizedFolder(path);
  Check(NormalizedFolder(normalised) == normalised, "normalised form not stable", path);
  Check(IsRootFolder(normalised) == IsRootFolder(path), "root judged differently once normalised", path);
  const std::vector<std::string> guarded = {path};
  Check(IsProtectedFolder(path, guarded), "a path does not guard itself", path);
  if (!IsRootFolder(path)) {
    Check(!IsProtectedFolder(path + "\\Velmora", guarded), "a folder below taken for the guarded one", path);
    Check(IsProtectedFolder(path, {path + "\\Velmora"}), "a folder above not guarded", path);
  }
  return 0;
}
