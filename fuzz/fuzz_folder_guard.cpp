// Any path: its normalised form is stable, a path always guards itself, and a folder below
// a path that names a folder is never taken for it or for a folder above it. The same input
// read as UTF-16 units: its UTF-8 form keeps those rules, and a path the deletion takes
// for one below its top never resolves, as Windows resolves names, to a place outside it.
// A path taken as plain reads as it is written: the guard's resolved form is its own
// upper-case text, so no NT, device, share, dotted or doubled spelling passes as plain.
// A name's words and the product's name in them, and Windows' places for any folder name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/guards/folder_guard.h"
#include "engine/guards/product_words.h"
#include "engine/guards/windows_places.h"
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
// The words of a name are pieces of it, in order, made of letters and digits alone; a dot
// between two names keeps each one's words; evidence by name is a word equal to a product name.
void CheckWords(const std::wstring& name) {
  const std::string shown = Utf8FromWide(name);
  std::size_t from = 0;
  const auto words = WordsOf(name);
  for (const std::wstring_view word : words) {
    Check(!word.empty(), "an empty word", shown);
    const std::size_t at = name.find(word, from);
    Check(at != std::wstring::npos && word.data() == name.data() + at, "a word that is not a piece of the name", shown);
    for (const wchar_t c : word) {
      Check((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c > 127,
            "a word holding a separator", shown);
    }
    from = at + word.size();
  }
  const std::wstring joined = name + L"." + name;
  Check(WordsOf(joined).size() == 2 * words.size(), "a dot changed the words beside it", shown);
  bool named = false;
  for (const std::wstring_view word : words) {
    for (const std::wstring_view product : {L"QRV", L"ZDN", L"VELMORA", L"CORVANTIX"}) {
      if (word.size() != product.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < word.size(); ++i) {
        const wchar_t c = word[i] >= L'a' && word[i] <= L'z' ? static_cast<wchar_t>(word[i] - 0x20) : word[i];
        same = same && c == product[i];
      }
      named = named || same;
    }
  }
  Check(CarriesProductName(name) == named, "the product's name judged otherwise than its words", shown);
}

// Windows' places: a plain name right in the Windows folder lies in them and so does anything
// below it; the Windows folder itself and a sibling whose name only begins alike do not; in a
// program folder exactly Windows' parts do.
void CheckPlaces(const std::string& name) {
  if (name.empty() || !PlainPathProblem("C:\\" + name).empty() || name.find('\\') != std::string::npos) return;
  const WindowsPlaces places{{"C:\\WINDOWS"}, {"C:\\PROGRAM FILES"}};
  Check(IsInWindowsPlace("C:\\Windows\\" + name, places), "a name in the Windows folder outside its places", name);
  Check(IsInWindowsPlace("C:\\Windows\\" + name + "\\x", places), "a place's child outside it", name);
  Check(!IsInWindowsPlace("C:\\Windows" + name + "\\x", places) || NormalizedFolder("C:\\Windows" + name).rfind("C:\\WINDOWS\\", 0) == 0,
        "a sibling of the Windows folder taken for it", name);
  Check(IsInWindowsPlace("C:\\Program Files\\" + name + "\\x", places) == IsWindowsPartName(name),
        "a program folder's part judged otherwise than its name", name);
  Check(!IsInWindowsPlace("C:\\Program Files\\" + name, places), "a part's own folder taken for its contents", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckGuard(std::string(reinterpret_cast<const char*>(data), size));
  CheckPlain(std::string(reinterpret_cast<const char*>(data), size));
  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  CheckGuard(Utf8FromWide(units));
  CheckChildren(units);
  CheckWords(units);
  CheckPlaces(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
