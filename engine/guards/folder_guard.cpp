#include "engine/guards/folder_guard.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

#include "platform/text/text_rules.h"

namespace {

// A character's code, bytes read as unsigned.
template <typename Char>
std::uint32_t Unit(Char c) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
}

template <typename Char>
bool IsSlash(Char c) {
  return c == Char('\\') || c == Char('/');
}

template <typename Char>
bool IsAsciiLetter(Char c) {
  return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices in every folder, also with
// an extension or trailing blanks ("NUL.txt", "con ").
template <typename Char>
bool IsDeviceName(std::basic_string_view<Char> name) {
  std::string base;
  for (const Char c : name.substr(0, name.find(Char('.')))) {
    if (Unit(c) > 127) return false;
    base += static_cast<char>(c);
  }
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = UpperAscii(base);
  static constexpr std::array<const char*, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
         base[3] <= '9';
}

template <typename Char>
bool IsForbiddenInName(Char c) {
  return Unit(c) < 32 || c == Char(':') || c == Char('*') || c == Char('?') ||
         c == Char('"') || c == Char('<') || c == Char('>') || c == Char('|');
}

template <typename Char>
std::string NameProblem(std::basic_string_view<Char> name) {
  if (name.empty()) return "an empty name (a doubled \"\\\")";
  if (name.size() <= 2 && std::all_of(name.begin(), name.end(), [](Char c) { return c == Char('.'); })) {
    return "a \".\" or \"..\" name";
  }
  if (std::any_of(name.begin(), name.end(), [](Char c) { return IsForbiddenInName(c); })) {
    return "a character no name may hold (control characters and : * ? \" < > |)";
  }
  if (name.back() == Char('.') || name.back() == Char(' ')) return "a name ending in a dot or a blank";
  if (IsDeviceName(name)) return "a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)";
  return {};
}

template <typename Char>
std::string PlainProblem(std::basic_string_view<Char> path) {
  if (path.size() >= 4 && IsSlash(path[0]) && (IsSlash(path[1]) || path[1] == Char('?')) &&
      (path[2] == Char('?') || path[2] == Char('.')) && IsSlash(path[3])) {
    return "an NT or device path (\"\\??\\\", \"\\\\?\\\", \"\\\\.\\\")";
  }
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) return "a share path (\"\\\\server\\share\")";
  if (!path.empty() && IsSlash(path[0])) return "a path from the root of the current drive";
  if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != Char(':')) {
    return "a relative path, taken from the cleaner's current folder";
  }
  if (path.size() == 2 || !IsSlash(path[2])) return "a drive-relative path, taken from that drive's current folder";
  if (std::find(path.begin(), path.end(), Char('/')) != path.end()) return "\"/\" used as a separator";
  std::basic_string_view<Char> rest = path.substr(3);
  if (!rest.empty() && rest.back() == Char('\\')) rest.remove_suffix(1);  // one trailing "\" names the folder
  if (rest.empty()) return {};
  for (;;) {
    const std::size_t split = rest.find(Char('\\'));
    std::string problem = NameProblem(rest.substr(0, split));
    if (!problem.empty()) return problem;
    if (split == std::basic_string_view<Char>::npos) return {};
    rest.remove_prefix(split + 1);
  }
}

enum class PathKind { Relative, DriveRelative, DriveAbsolute, RootRelative, Share, Device };

struct ParsedPath {
  PathKind kind = PathKind::Relative;
  std::string drive;   // "C:" for the two drive kinds
  std::string device;  // what follows a device prefix, upper case, as written
  std::vector<std::string> names;
};

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithDrive(std::string_view s) { return s.size() >= 2 && IsDriveLetter(s[0]) && s[1] == ':'; }

// Windows ignores trailing dots and blanks of a name: "Windows. " is "Windows".
std::string TrimmedName(std::string_view name) {
  if (name == "." || name == "..") return std::string(name);
  std::size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return std::string(name.substr(0, end));
}

// The fewest names a path keeps when `..` climbs: a share keeps its server and share.
std::size_t NameFloor(PathKind kind) { return kind == PathKind::Share ? 2 : 0; }

bool CanClimbAboveStart(PathKind kind) { return kind == PathKind::Relative || kind == PathKind::DriveRelative; }

void AddNames(ParsedPath& parsed, std::string_view rest) {
  auto& names = parsed.names;
  for (std::size_t start = 0; start <= rest.size();) {
    std::size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string name = TrimmedName(rest.substr(start, end - start));
    start = end + 1;
    if (name.empty() || name == ".") continue;  // a doubled or trailing `\`, or the folder itself
    if (name != "..") {
      names.push_back(name);
    } else if (names.size() > NameFloor(parsed.kind) && names.back() != "..") {
      names.pop_back();
    } else if (CanClimbAboveStart(parsed.kind)) {
      names.push_back(name);
    }
  }
}

// Device paths are never resolved: they are compared as written.
ParsedPath DevicePath(std::string_view inner) {
  ParsedPath parsed;
  parsed.kind = PathKind::Device;
  while (!inner.empty() && inner.front() == '\\') inner.remove_prefix(1);
  parsed.device = UpperAscii(inner);
  return parsed;
}

// What follows the "\\" of a share: server, share, folders.
ParsedPath SharePath(std::string_view rest) {
  ParsedPath parsed;
  parsed.kind = PathKind::Share;
  AddNames(parsed, rest);
  // A server written "?." loses its dot and would read as the device prefix "\\?\".
  if (!parsed.names.empty() && parsed.names.front() == "?") return DevicePath(rest);
  return parsed;
}

ParsedPath Parse(std::string_view input) {
  std::string text(input);
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  ParsedPath parsed;
  std::string_view rest = text;
  // "\??\" is the NT form of "\\?\": Windows passes both through as they are.
  if (rest.size() >= 4 && rest.substr(0, 4) == "\\??\\") text[1] = '\\';
  // "\\?\" and "\\.\" name devices; only their drive and share forms name folders.
  if (rest.size() >= 4 && rest.substr(0, 2) == "\\\\" && (rest[2] == '?' || rest[2] == '.') && rest[3] == '\\') {
    std::string_view inner = rest.substr(4);
    if (inner.size() >= 4 && UpperAscii(inner.substr(0, 4)) == "UNC\\") return SharePath(inner.substr(4));
    if (StartsWithDrive(inner) && (inner.size() == 2 || inner[2] == '\\')) {
      rest = inner;
    } else {
      return DevicePath(inner);
    }
  }
  if (rest.substr(0, 2) == "\\\\") return SharePath(rest.substr(2));
  if (StartsWithDrive(rest)) {
    parsed.drive = UpperAscii(rest.substr(0, 2));
    rest.remove_prefix(2);
    parsed.kind = !rest.empty() && rest[0] == '\\' ? PathKind::DriveAbsolute : PathKind::DriveRelative;
  } else if (!rest.empty() && rest[0] == '\\') {
    parsed.kind = PathKind::RootRelative;
  }
  AddNames(parsed, rest);
  return parsed;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) {
    if (!out.empty()) out += '\\';
    out += name;
  }
  return out;
}

}  // namespace

std::string PlainPathProblem(std::wstring_view path) { return PlainProblem(path); }
std::string PlainPathProblem(std::string_view path) { return PlainProblem(path); }

std::string NormalizedFolder(std::string_view path) {
  const ParsedPath parsed = Parse(path);
  const std::string names = UpperAscii(Joined(parsed.names));
  switch (parsed.kind) {
    // A relative name that looks like a drive ("x\..\C:") keeps a ".\" in front of it.
    case PathKind::Relative: return StartsWithDrive(names) ? ".\\" + names : names;
    case PathKind::DriveRelative: return parsed.drive + names;
    case PathKind::DriveAbsolute: return names.empty() ? parsed.drive : parsed.drive + "\\" + names;
    // A first name "??" would read as the NT prefix "\??\" once written after a "\".
    case PathKind::RootRelative:
      return (names == "??" || names.rfind("??\\", 0) == 0 ? "\\.\\" : "\\") + names;
    case PathKind::Share: return "\\\\" + names;
    case PathKind::Device: return "\\\\.\\\\" + parsed.device;
  }
  return names;
}

bool IsRootFolder(std::string_view path) {
  const ParsedPath parsed = Parse(path);
  switch (parsed.kind) {
    case PathKind::Device: return true;
    case PathKind::Share: return parsed.names.size() < 3;
    default: return parsed.names.empty();
  }
}

bool IsProtectedFolder(std::string_view path, const std::vector<std::string>& protectedFolders) {
  if (IsRootFolder(path)) return true;
  const std::string candidate = NormalizedFolder(path);
  for (const auto& folder : protectedFolders) {
    const std::string guarded = NormalizedFolder(folder);
    if (guarded.empty()) continue;
    if (guarded == candidate) return true;
    if (guarded.size() > candidate.size() && guarded.compare(0, candidate.size(), candidate) == 0 &&
        guarded[candidate.size()] == '\\') {
      return true;
    }
  }
  return false;
}

bool IsProtectedIdentity(const FileIdentity& identity, const ProtectedFolderSet& set) {
  return std::find(set.identities.begin(), set.identities.end(), identity) != set.identities.end();
}

void IndexFolders(ProtectedFolderSet& set) {
  set.index.clear();
  for (const auto& folder : set.folders) {
    std::string guarded = NormalizedFolder(folder);
    // The folder and each folder above it, up to the root (which IsRootFolder refuses anyway).
    while (!guarded.empty() && set.index.insert(guarded).second) {
      const std::size_t split = guarded.find_last_of('\\');
      if (split == std::string::npos || split == 0) break;
      guarded.resize(split);
    }
  }
}

bool IsProtectedIndexed(std::string_view path, const ProtectedFolderSet& set) {
  if (set.index.empty()) return IsProtectedFolder(path, set.folders);  // a set nobody indexed
  return IsRootFolder(path) || set.index.contains(NormalizedFolder(path));
}
