#include <algorithm>
#include <vector>

#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tools/snapshot/snapshot_walk.h"

namespace {

// Strings up to this size keep their text in the snapshot, for reports of changed data.
constexpr DWORD kTextKeptUpTo = 512;

struct Named {
  std::string utf8;
  std::wstring wide;
};

void SortByName(std::vector<Named>& names) {
  std::sort(names.begin(), names.end(), [](const Named& a, const Named& b) { return CompareNames(a.utf8, b.utf8) < 0; });
}

std::string TextOf(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > kTextKeptUpTo || size < sizeof(wchar_t)) return {};
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return Utf8FromWide(text);
}

constexpr std::wstring_view kLinkValueName = L"SymbolicLinkValue";

// What a key opened as itself links to ("\\REGISTRY\\MACHINE\\..."); empty for a key that is
// no link.
std::wstring LinkTarget(HKEY key) {
  wchar_t target[1024] = {};
  DWORD size = sizeof target - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, kLinkValueName.data(), nullptr, &type, reinterpret_cast<BYTE*>(target), &size) != ERROR_SUCCESS ||
      type != REG_LINK) {
    return {};
  }
  return std::wstring(target, size / sizeof(wchar_t));
}

// HKLM\SOFTWARE is walked whole (through the 64-bit view on 64-bit Windows): a link into it
// names keys recorded under their own names already. An empty target is no link.
bool IsWalkedWhole(const std::wstring& target) {
  constexpr std::wstring_view kSoftware = L"\\REGISTRY\\MACHINE\\SOFTWARE";
  if (target.empty()) return true;
  if (target.size() < kSoftware.size()) return false;
  for (std::size_t i = 0; i < kSoftware.size(); ++i) {
    wchar_t c = target[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != kSoftware[i]) return false;
  }
  return target.size() == kSoftware.size() || target[kSoftware.size()] == L'\\';
}

class RegistryWalk {
 public:
  RegistryWalk(SnapshotWriter& writer, REGSAM view) : writer_(writer), view_(view) {}

  // The counts RegQueryInfoKeyW gives bound the enumerations, so that no call is spent on
  // hearing that there is nothing more: every call is a round trip to the registry's keeper.
  // parent and openedAs: where the key was opened from and its name there, for following a
  // link; none for a place opened by its path.
  void Key(HKEY key, const std::string& name, HKEY parent = nullptr, const std::wstring* openedAs = nullptr) {
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestValueName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestValueName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
      writer_.Record({RecordKind::Key, name, {}, {}});
      return;
    }
    if (parent != nullptr && subkeys == 0 && values == 1 && longestValueName == kLinkValueName.size() &&
        !IsWalkedWhole(LinkTarget(key))) {
      UniqueHKey followed;
      if (RegOpenKeyExW(parent, openedAs->c_str(), 0, KEY_READ | view_, followed.Put()) == ERROR_SUCCESS) {
        Key(followed.Get(), name);
        return;
      }
    }
    writer_.Record({RecordKind::Key, name, {}, {}});
    Values(key, name, values, longestValueName, longestData);
    std::vector<Named> children;
    children.reserve(subkeys);
    std::wstring buffer(static_cast<std::size_t>(longestSubkey) + 2, L'\0');
    for (DWORD i = 0; i < subkeys; ++i) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG result = RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA) {
        buffer.resize(buffer.size() * 2 + 256);
        --i;
        continue;
      }
      if (result != ERROR_SUCCESS) break;
      std::wstring child(buffer.data(), length);
      children.push_back({Utf8FromWide(child), std::move(child)});
    }
    SortByName(children);
    for (const Named& child : children) {
      // Opened as itself: a registry link is followed only where what it leads to is not
      // walked anyway (WOW6432Node\Classes leads to Classes\WOW6432Node, both in
      // HKLM\SOFTWARE; a user's Software\Classes leads to that user's classes hive).
      UniqueHKey opened;
      if (RegOpenKeyExW(key, child.wide.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view_, opened.Put()) != ERROR_SUCCESS) {
        writer_.Record({RecordKind::Key, name + "\\" + child.utf8, {}, {}});  // seen, not readable
        continue;
      }
      Key(opened.Get(), name + "\\" + child.utf8, key, &child.wide);
    }
  }

 private:
  void Values(HKEY key, const std::string& name, DWORD count, DWORD longestName, DWORD longestData) {
    std::vector<SnapshotRecord> records;
    records.reserve(count);
    std::wstring nameBuffer(static_cast<std::size_t>(longestName) + 2, L'\0');
    std::vector<BYTE> data(static_cast<std::size_t>(longestData) + 2);
    for (DWORD i = 0; i < count; ++i) {
      DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
      DWORD size = static_cast<DWORD>(data.size());
      DWORD type = 0;
      const LONG result = RegEnumValueW(key, i, nameBuffer.data(), &nameLength, nullptr, &type, data.data(), &size);
      if (result == ERROR_MORE_DATA) {  // the value grew while we looked
        nameBuffer.resize(nameBuffer.size() * 2 + 256);
        data.resize(data.size() * 2 + 4096);
        --i;
        continue;
      }
      if (result != ERROR_SUCCESS) break;
      DataHash hash;
      hash.Add(data.data(), size);
      ValueFacts facts{type, size, hash.Hex(), TextOf(type, data, size)};
      records.push_back({RecordKind::Value, name, Utf8FromWide(std::wstring_view(nameBuffer.data(), nameLength)),
                         FormatValueFacts(facts)});
    }
    std::sort(records.begin(), records.end(),
              [](const SnapshotRecord& a, const SnapshotRecord& b) { return CompareNames(a.name, b.name) < 0; });
    for (const SnapshotRecord& record : records) writer_.Record(record);
  }

  SnapshotWriter& writer_;
  REGSAM view_;
};

}  // namespace

void WalkRegistry(const std::vector<RegistryPlace>& places, SnapshotWriter& writer) {
  for (const RegistryPlace& place : places) {
    UniqueHKey key;
    if (RegOpenKeyExW(place.root, place.openPath.c_str(), 0, KEY_READ | place.view, key.Put()) != ERROR_SUCCESS) {
      continue;
    }
    RegistryWalk(writer, place.view).Key(key.Get(), place.name);
  }
}
