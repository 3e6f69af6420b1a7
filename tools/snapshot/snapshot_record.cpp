#include "tools/snapshot/snapshot_record.h"

#include <algorithm>
#include <vector>

#include "platform/errors.h"
#include "platform/text/text_rules.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char UpperByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::strong_ordering CompareBytes(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? std::strong_ordering::less : c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::uint64_t ParseCount(std::string_view text, const char* what) {
  if (text.empty() || text.size() > 20) throw EConvertError(std::string("bad ") + what + " \"" + std::string(text) + "\"");
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') throw EConvertError(std::string("bad ") + what + " \"" + std::string(text) + "\"");
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) throw EConvertError(std::string(what) + " out of range");
    value = value * 10 + digit;
  }
  return value;
}

// The number of tab-separated fields after the kind and container, per kind.
std::size_t FieldsOf(RecordKind kind) {
  switch (kind) {
    case RecordKind::Key: return 0;
    case RecordKind::Value: return 4;
    case RecordKind::Directory: return 1;
    case RecordKind::File: return 5;
  }
  return 0;
}

}  // namespace

bool IsRegistryRecord(RecordKind kind) { return kind == RecordKind::Key || kind == RecordKind::Value; }
bool IsContainerRecord(RecordKind kind) { return kind == RecordKind::Key || kind == RecordKind::Directory; }

std::strong_ordering CompareNames(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(UpperByte(a[i]));
    const auto y = static_cast<unsigned char>(UpperByte(b[i]));
    if (x != y) return x <=> y;
  }
  if (a.size() != b.size()) return a.size() <=> b.size();
  return CompareBytes(a, b);
}

std::strong_ordering CompareRecords(const SnapshotRecord& a, const SnapshotRecord& b) {
  const bool aRegistry = IsRegistryRecord(a.kind);
  if (aRegistry != IsRegistryRecord(b.kind)) return aRegistry ? std::strong_ordering::less : std::strong_ordering::greater;
  std::string_view x = a.container;
  std::string_view y = b.container;
  for (;;) {
    const auto xEnd = x.find('\\');
    const auto yEnd = y.find('\\');
    const std::string_view xName = x.substr(0, xEnd);
    const std::string_view yName = y.substr(0, yEnd);
    if (const auto order = CompareNames(xName, yName); order != 0) return order;
    // One container is above the other: the upper one and its leaves come first.
    if (xEnd == std::string_view::npos && yEnd == std::string_view::npos) break;
    if (xEnd == std::string_view::npos) return std::strong_ordering::less;
    if (yEnd == std::string_view::npos) return std::strong_ordering::greater;
    x.remove_prefix(xEnd + 1);
    y.remove_prefix(yEnd + 1);
  }
  const bool aLeaf = !IsContainerRecord(a.kind);
  if (aLeaf != !IsContainerRecord(b.kind)) return aLeaf ? std::strong_ordering::greater : std::strong_ordering::less;
  return CompareNames(a.name, b.name);
}

bool IsWithin(std::string_view path, std::string_view folder) {
  if (path.size() < folder.size() || !EqualsIgnoringAsciiCase(path.substr(0, folder.size()), folder)) return false;
  return path.size() == folder.size() || path[folder.size()] == '\\';
}

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
    if (high < 0 || low < 0) throw EConvertError("\"%\" without two hex digits");
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string FormatRecord(const SnapshotRecord& record) {
  std::string line(1, static_cast<char>(record.kind));
  line += '\t';
  line += EscapeField(record.container);
  if (!IsContainerRecord(record.kind)) {
    line += '\t';
    line += EscapeField(record.name);
  }
  if (!record.data.empty() || FieldsOf(record.kind) > 0) {
    line += '\t';
    line += record.data;
  }
  return line;
}

SnapshotRecord ParseRecord(std::string_view line) {
  const std::vector<std::string_view> fields = SplitTabs(line);
  if (fields[0].size() != 1) throw EConvertError("no record kind");
  SnapshotRecord record;
  const char kind = fields[0][0];
  if (kind != 'K' && kind != 'V' && kind != 'D' && kind != 'F') {
    throw EConvertError(std::string("unknown record kind \"") + kind + "\"");
  }
  record.kind = static_cast<RecordKind>(kind);
  const std::size_t named = IsContainerRecord(record.kind) ? 0 : 1;
  const std::size_t expected = 2 + named + FieldsOf(record.kind);
  if (fields.size() != expected) {
    throw EConvertError("a " + std::string(1, kind) + " record has " + IntToText(static_cast<long long>(expected)) +
                        " fields, this one " + IntToText(static_cast<long long>(fields.size())));
  }
  record.container = UnescapeField(fields[1]);
  if (record.container.empty()) throw EConvertError("empty path");
  if (named != 0) record.name = UnescapeField(fields[2]);
  if (record.kind == RecordKind::File && record.name.empty()) throw EConvertError("a file without a name");
  const std::size_t dataStart = 2 + named;
  if (dataStart < fields.size()) {
    const std::size_t offset = static_cast<std::size_t>(fields[dataStart].data() - line.data());
    record.data = std::string(line.substr(offset));
  }
  if (record.kind == RecordKind::Value) (void)ParseValueFacts(record.data);
  if (record.kind == RecordKind::File) {
    const auto facts = SplitTabs(record.data);
    for (std::size_t i = 0; i + 1 < facts.size(); ++i) (void)ParseCount(facts[i], "file fact");
  }
  if (record.kind == RecordKind::Directory) (void)ParseCount(record.data, "attributes");
  return record;
}

ValueFacts ParseValueFacts(std::string_view data) {
  const std::vector<std::string_view> fields = SplitTabs(data);
  if (fields.size() != 4) throw EConvertError("a value's data has 4 fields");
  ValueFacts facts;
  const std::uint64_t type = ParseCount(fields[0], "value type");
  if (type > UINT32_MAX) throw EConvertError("value type out of range");
  facts.type = static_cast<std::uint32_t>(type);
  facts.size = ParseCount(fields[1], "value size");
  facts.hash = std::string(fields[2]);
  facts.text = UnescapeField(fields[3]);
  return facts;
}

std::string FormatValueFacts(const ValueFacts& facts) {
  return IntToText(facts.type) + "\t" + std::to_string(facts.size) + "\t" + facts.hash + "\t" + EscapeField(facts.text);
}

void DataHash::Add(const void* bytes, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    state_ ^= p[i];
    state_ *= 0x100000001b3ULL;
  }
}

std::string DataHash::Hex() const {
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i) out[static_cast<std::size_t>(15 - i)] = kHex[(state_ >> (i * 4)) & 15];
  return out;
}

std::string FormatFileContent(const FileContentFacts& facts) {
  if (facts.hash.empty() && facts.identity.empty()) return "-";
  return facts.identity.empty() ? facts.hash : facts.hash + "@" + facts.identity;
}

FileContentFacts ParseFileContent(std::string_view field) {
  FileContentFacts facts;
  if (field == "-") return facts;
  const std::size_t at = field.find('@');
  facts.hash = std::string(field.substr(0, at));
  if (at != std::string_view::npos) facts.identity = std::string(field.substr(at + 1));
  return facts;
}

bool SameRecordData(const SnapshotRecord& a, const SnapshotRecord& b) {
  if (a.kind != RecordKind::File || b.kind != RecordKind::File) return a.data == b.data;
  const std::size_t aCut = a.data.rfind('\t');
  const std::size_t bCut = b.data.rfind('\t');
  if (aCut == std::string::npos || bCut == std::string::npos) return a.data == b.data;
  // Size, attributes and times first, then the content as both tell it.
  if (std::string_view(a.data).substr(0, aCut) != std::string_view(b.data).substr(0, bCut)) return false;
  const FileContentFacts before = ParseFileContent(std::string_view(a.data).substr(aCut + 1));
  const FileContentFacts after = ParseFileContent(std::string_view(b.data).substr(bCut + 1));
  if (!before.hash.empty() && !after.hash.empty()) return before.hash == after.hash;
  if (!before.identity.empty() && !after.identity.empty()) return before.identity == after.identity;
  return true;
}
