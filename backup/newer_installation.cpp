#include "backup/newer_installation.h"

#include <cstring>
#include <cwctype>
#include <set>

#include "platform/text/wide_text.h"

namespace {

constexpr std::wstring_view kUninstallKey = L"\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;

std::wstring Upper(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

// Only the entry's own key, not a key below it.
bool IsUninstallEntry(const std::wstring& path) {
  const std::wstring upper = Upper(path);
  const std::size_t at = upper.find(kUninstallKey);
  if (at == std::wstring::npos) return false;
  const std::wstring_view name = std::wstring_view(upper).substr(at + kUninstallKey.size());
  return !name.empty() && name.find(L'\\') == std::wstring_view::npos;
}

std::wstring TextOf(const SavedValue& value) {
  if ((value.type != kRegSz && value.type != kRegExpandSz) || value.data.size() < 2) return {};
  std::wstring text(value.data.size() / 2, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
  }
  return text.substr(0, text.find(L'\0'));
}

// The next part of a version from `at`, which moves past it and its dot.
std::wstring_view NextPart(std::wstring_view text, std::size_t& at) {
  if (at >= text.size()) return {};
  const std::size_t dot = text.find(L'.', at);
  const std::wstring_view part = text.substr(at, dot == std::wstring_view::npos ? std::wstring_view::npos : dot - at);
  at = dot == std::wstring_view::npos ? text.size() : dot + 1;
  return part;
}

bool AllDigits(std::wstring_view part) {
  for (const wchar_t c : part) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

// Numbers compared by value (leading zeros dropped), without overflow for any length.
int CompareNumbers(std::wstring_view a, std::wstring_view b) {
  while (a.size() > 1 && a.front() == L'0') a.remove_prefix(1);
  while (b.size() > 1 && b.front() == L'0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

std::vector<JournaledInstallation> InstallationsOf(const Journal& journal) {
  std::set<std::uint64_t> notDone;
  for (const JournalEntry& entry : journal.entries) {
    if (entry.kind == JournalKind::NotDone) notDone.insert(entry.notDone);
  }
  std::vector<JournaledInstallation> found;
  for (const JournalEntry& entry : journal.entries) {
    if (entry.kind != JournalKind::Key || !IsUninstallEntry(entry.path)) continue;
    found.push_back({&entry, DisplayVersionOf(entry.values), !notDone.contains(entry.number)});
  }
  return found;
}

std::wstring DisplayVersionOf(const std::vector<SavedValue>& values) {
  for (const SavedValue& value : values) {
    if (Upper(value.name) == L"DISPLAYVERSION") return TextOf(value);
  }
  return {};
}

int CompareVersions(std::wstring_view a, std::wstring_view b) {
  std::size_t atA = 0, atB = 0;
  while (atA < a.size() || atB < b.size()) {
    std::wstring_view partA = NextPart(a, atA), partB = NextPart(b, atB);
    if (partA.empty()) partA = L"0";
    if (partB.empty()) partB = L"0";
    const int order = AllDigits(partA) && AllDigits(partB) ? CompareNumbers(partA, partB)
                                                           : Upper(partA).compare(Upper(partB));
    if (order != 0) return order < 0 ? -1 : 1;
  }
  return 0;
}

std::string NewerInstallationReason(const JournaledInstallation& journaled, const InstallationNow& now) {
  if (!now.present || journaled.entry == nullptr) return {};
  const std::string key = Utf8FromWide(journaled.entry->path);
  const std::string before = journaled.version.empty() ? "none" : Utf8FromWide(journaled.version);
  const std::string after = now.version.empty() ? "none" : Utf8FromWide(now.version);
  if (journaled.removed) {
    return "its Uninstall entry " + key + ", which the run removed, is there again (version " + after +
           " now, " + before + " in the backup)";
  }
  if (CompareVersions(now.version, journaled.version) > 0) {
    return "its Uninstall entry " + key + " names version " + after + ", newer than " + before + " in the backup";
  }
  return {};
}
