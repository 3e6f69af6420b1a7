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

class RegistryWalk {
 public:
  RegistryWalk(SnapshotWriter& writer, REGSAM view) : writer_(writer), view_(view) {}

  void Key(HKEY key, const std::string& name) {
    writer_.Record({RecordKind::Key, name, {}, {}});
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestValueName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestValueName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
      return;
    }
    Values(key, name, values, longestValueName, longestData);
    std::vector<Named> children;
    children.reserve(subkeys);
    std::wstring buffer(static_cast<std::size_t>(longestSubkey) + 2, L'\0');
    for (DWORD i = 0;; ++i) {
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
      UniqueHKey opened;
      if (RegOpenKeyExW(key, child.wide.c_str(), 0, KEY_READ | view_, opened.Put()) != ERROR_SUCCESS) {
        writer_.Record({RecordKind::Key, name + "\\" + child.utf8, {}, {}});  // seen, not readable
        continue;
      }
      Key(opened.Get(), name + "\\" + child.utf8);
    }
  }

 private:
  void Values(HKEY key, const std::string& name, DWORD count, DWORD longestName, DWORD longestData) {
    std::vector<SnapshotRecord> records;
    records.reserve(count);
    std::wstring nameBuffer(static_cast<std::size_t>(longestName) + 2, L'\0');
    std::vector<BYTE> data(static_cast<std::size_t>(longestData) + 2);
    for (DWORD i = 0;; ++i) {
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
