// Any path: its normalised form is stable, a path always guards itself, and a folder below
// a path that names a folder is never taken for it or for a folder above it. The same input
// read as UTF-16 units: its UTF-8 form keeps those rules, and a path the deletion takes
// for one below its top never resolves, as Windows resolves names, to a place outside it.
// A path taken as plain reads as it is written: the guard's resolved form is its own
// upper-case text, so no NT, device, share, dotted or doubled spelling passes as plain.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/guards/folder_guard.h"
#include "platform/files/files_paths.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

namespace {
void Check(bool condition, const char* what, const std::string& path) {
  if (condition) return;
  std::fprintf(stderr, "%s: [%s]\n", what, path.c_str());
  std::abort();
}

void CheckGuard(const std::string& path) {
  const std::string normalised = NormalizedFolder(path);
  Check(NormalizedFolder(normalised) == normalised, "normalised form not stable", path);
  Check(IsRootFolder(normalised) == IsRootFolder(path), "root judged differently once normalised", path);
  const std::vector<std::string> guarded = {path};
  Check(IsProtectedFolder(path, guarded), "a path does not guard itself", path);
  // A name appended can turn a path into a device or NT path ("\\??" + "\\Velmora"): such a
  // path is refused as a root whatever is guarded, which is the safe side.
  if (!IsRootFolder(path) && !IsRootFolder(path + "\\Velmora")) {
    Check(!IsProtectedFolder(path + "\\Velmora", guarded), "a folder below taken for the guarded one", path);
    Check(IsProtectedFolder(path, {path + "\\Velmora"}), "a folder above not guarded", path);
  }
}

void CheckPlain(const std::string& path) {
  std::wstring wide;
  for (const char c : path) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  const std::string problem = PlainPathProblem(path);
  Check(PlainPathProblem(wide) == problem, "bytes and UTF-16 judged otherwise", path);
  if (!problem.empty()) return;
  std::string written = path.size() > 3 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
  if (written.size() == 3) written.pop_back();  // "C:\" reads as the drive "C:"
  Check(NormalizedFolder(path) == UpperAscii(written), "a plain path resolves to another place", path);
}

void CheckChildren(const std::wstring& rest) {
  const std::wstring top = L"\\\\?\\C:\\target";
  const std::wstring path = top + L"\\" + rest;
  const std::string shown = Utf8FromWide(rest);
  if (IsSafeChildName(rest)) Check(IsBelowFolder(path, top), "a safe name taken for one outside", shown);
  if (!IsBelowFolder(path, top)) return;
  const std::string resolved = NormalizedFolder(Utf8FromWide(OrdinaryPath(path)));
  Check(resolved == "C:\\TARGET" || resolved.rfind("C:\\TARGET\\", 0) == 0, "a child resolves outside its top", shown);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckGuard(std::string(reinterpret_cast<const char*>(data), size));
  CheckPlain(std::string(reinterpret_cast<const char*>(data), size));
  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  CheckGuard(Utf8FromWide(units));
  CheckChildren(units);
  return 0;
}
