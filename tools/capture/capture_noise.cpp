#include "tools/capture/capture_noise.h"

#include <array>
#include <string>

#include "platform/text/text_rules.h"

namespace {

constexpr std::array<std::string_view, 33> kNoisePlaces = {
    // Registry: the random seed, lists of recent things, the shell's caches and Wine's own settings.
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\\RNG",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\TypedPaths",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SessionInfo",
    // Windows' own per-user places: the MUI cache and the shell bags (the user's folder
    // views), and the per-user classes' Local Settings, which holds both since Vista.
    "*\\Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache",
    "*\\Software\\Microsoft\\Windows\\ShellNoRoam\\Bags",
    "*\\Software\\Microsoft\\Windows\\ShellNoRoam\\BagMRU",
    "*\\Software\\Microsoft\\Windows\\Shell\\Bags",
    "*\\Software\\Microsoft\\Windows\\Shell\\BagMRU",
    "*\\Software\\Classes\\Local Settings",
    "*\\Software\\Wine",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Prefetcher",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Reliability",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\bam\\State",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces",
    // The cleaner's own event source, which stays to explain its runs in the event log.
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velmora Cleaner",
    // Files: temporary folders, caches, logs, prefetch data, the event log, the Installer's
    // package cache (the product's registration is in the registry and is captured there).
    "{Windows}\\Temp",
    "{Windows}\\Prefetch",
    "{Windows}\\Logs",
    "{Windows}\\Installer",
    "{Windows}\\*.log",
    "{System}\\winevt",
    "{System}\\config",
    "{System}\\LogFiles",
    "*\\AppData\\Local\\Temp",
    "*\\Local Settings\\Temp",
    "*\\AppData\\Local\\Microsoft\\Windows\\INetCache",
    "*\\AppData\\Local\\Microsoft\\Windows\\Explorer",
    "*\\AppData\\Roaming\\Microsoft\\Windows\\Recent",
};

std::string Expanded(std::string_view pattern, const SnapshotFolders& folders) {
  std::string out(pattern);
  for (const char* name : {"Windows", "System"}) {
    const std::string token = std::string("{") + name + "}";
    if (const auto at = out.find(token); at != std::string::npos) {
      const std::string folder = folders.Get(name);
      if (folder.empty()) return {};  // the place is unknown: the pattern matches nothing
      out.replace(at, token.size(), folder);
    }
  }
  return out;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::span<const std::string_view> BuiltInNoisePlaces() { return kNoisePlaces; }

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  // Iterative glob with one back-track point: the last "*" seen.
  std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && Upper(pattern[p]) == Upper(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsBuiltInNoise(const SnapshotRecord& record, const SnapshotFolders& folders) {
  const std::string path = IsContainerRecord(record.kind) || record.name.empty()
                               ? record.container
                               : record.container + "\\" + record.name;
  for (const std::string_view place : kNoisePlaces) {
    const std::string pattern = Expanded(place, folders);
    if (pattern.empty()) continue;
    if (MatchesPattern(pattern, path) || MatchesPattern(pattern + "\\*", path)) return true;
  }
  return false;
}
