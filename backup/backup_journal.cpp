#include "backup/backup_journal.h"

#include <charconv>
#include <limits>

#include "platform/text/wide_text.h"

// The text of a journal has one spelling per entry: JournalLine writes it and ParseJournalLine
// takes nothing else (decimal numbers without leading zeros, lowercase hex of fixed widths,
// text fields escaped exactly as written). A line damaged in any way is therefore refused
// rather than read as some other change.

namespace {

// The fields after number and kind, by letter: p path, c copy, a attributes, t the three
// times, z size and SHA-256, s security descriptor, h hive file, n the number of the entry
// not done, v the fields of each value, V a count of values and then their fields, i the
// copy's file ID and count of names.
struct KindLayout {
  JournalKind kind;
  std::string_view word;
  std::string_view fields;
};

constexpr KindLayout kLayouts[] = {
    {JournalKind::Attributes, "attributes", "pa"},
    {JournalKind::File, "file", "pcatzsi"},
    {JournalKind::Folder, "folder", "pas"},
    {JournalKind::Link, "link", "pc"},
    {JournalKind::RestartFile, "restart-file", "pcatzsi"},
    {JournalKind::Key, "key", "phsV"},
    {JournalKind::Value, "value", "phv"},
    {JournalKind::WrittenValue, "written-value", "phv"},
    {JournalKind::Process, "process", "p"},
    {JournalKind::Service, "service", "p"},
    {JournalKind::ServiceSettings, "service-settings", "pv"},
    {JournalKind::KeySecurity, "key-security", "phs"},
    {JournalKind::NotDone, "not-done", "np"},
};

constexpr std::size_t kValueFieldCount = 3;  // name, type, data
constexpr int kDigestDigits = 64;
constexpr char kHexDigits[] = "0123456789abcdef";

const KindLayout* LayoutOf(JournalKind kind) {
  for (const auto& layout : kLayouts) {
    if (layout.kind == kind) return &layout;
  }
  return nullptr;
}

const KindLayout* LayoutOf(std::string_view word) {
  for (const auto& layout : kLayouts) {
    if (layout.word == word) return &layout;
  }
  return nullptr;
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Backslash, tab, line breaks and NUL as two-character escapes; a surrogate without its
// partner (Windows names may hold one) as \u and four hex digits, since UTF-8 cannot.
std::string Escaped(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    switch (unit) {
      case L'\\': out += L"\\\\"; continue;
      case L'\t': out += L"\\t"; continue;
      case L'\n': out += L"\\n"; continue;
      case L'\r': out += L"\\r"; continue;
      case L'\0': out += L"\\0"; continue;
      default: break;
    }
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += unit;
      out += text[++i];
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      out += L"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += static_cast<wchar_t>(kHexDigits[(unit >> shift) & 0xF]);
    } else {
      out += unit;
    }
  }
  return Utf8FromWide(out);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

template <typename Number>
void AppendHex(std::string& out, Number value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

void AppendValue(std::string& line, const SavedValue& value) {
  line += '\t' + Escaped(value.name) + '\t' + std::to_string(value.type) + '\t';
  for (const std::uint8_t byte : value.data) AppendHex(line, byte, 2);
}

// Reads one line's fields in order; the first failure leaves its text in problem.
class FieldReader {
 public:
  FieldReader(std::string_view line, std::string& problem) : problem_(problem) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      fields_.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
      if (tab == std::string_view::npos) break;
      start = tab + 1;
    }
  }

  std::size_t Remaining() const { return fields_.size() - next_; }

  bool Fail(const std::string& text) {
    if (problem_.empty()) problem_ = text;
    return false;
  }

  bool Next(std::string_view what, std::string_view& field) {
    if (next_ >= fields_.size()) return Fail("the line ends before its " + std::string(what));
    field = fields_[next_++];
    return true;
  }

  bool Decimal(std::string_view what, std::uint64_t max, std::uint64_t& value) {
    std::string_view field;
    if (!Next(what, field)) return false;
    const bool digitsOnly = !field.empty() && field.find_first_not_of("0123456789") == std::string_view::npos;
    const bool canonical = digitsOnly && (field.size() == 1 || field[0] != '0');
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (!canonical || error != std::errc() || end != field.data() + field.size() || value > max) {
      return Fail(std::string(what) + " \"" + std::string(field) + "\" is not a decimal number up to " +
                  std::to_string(max));
    }
    return true;
  }

  bool FixedHex(std::string_view what, int digits, std::uint64_t& value) {
    std::string_view field;
    if (!Next(what, field)) return false;
    value = 0;
    bool valid = field.size() == static_cast<std::size_t>(digits);
    for (std::size_t i = 0; valid && i < field.size(); ++i) {
      const int digit = HexValue(field[i]);
      valid = digit >= 0;
      value = (value << 4) | static_cast<std::uint64_t>(valid ? digit : 0);
    }
    if (!valid) {
      return Fail(std::string(what) + " \"" + std::string(field) + "\" is not " + std::to_string(digits) +
                  " lowercase hex digits");
    }
    return true;
  }

  bool Digest(std::string_view what, std::string& digest) {
    std::string_view field;
    if (!Next(what, field)) return false;
    const bool valid = field.size() == kDigestDigits && field.find_first_not_of(kHexDigits) == std::string_view::npos;
    if (!valid) return Fail(std::string(what) + " is not " + std::to_string(kDigestDigits) + " lowercase hex digits");
    digest = field;
    return true;
  }

  bool HexBytes(std::string_view what, std::vector<std::uint8_t>& bytes) {
    std::string_view field;
    if (!Next(what, field)) return false;
    if (field.size() % 2 != 0) return Fail(std::string(what) + " has an odd number of hex digits");
    bytes.reserve(field.size() / 2);
    for (std::size_t i = 0; i < field.size(); i += 2) {
      const int high = HexValue(field[i]);
      const int low = HexValue(field[i + 1]);
      if (high < 0 || low < 0) return Fail(std::string(what) + " holds a character that is not a lowercase hex digit");
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
  }

  bool Text(std::string_view what, std::wstring& text) {
    std::string_view field;
    if (!Next(what, field)) return false;
    const std::wstring wide = WideFromUtf8(field);
    text.clear();
    for (std::size_t i = 0; i < wide.size(); ++i) {
      if (wide[i] != L'\\') {
        text += wide[i];
        continue;
      }
      const wchar_t code = i + 1 < wide.size() ? wide[++i] : L'\0';
      switch (code) {
        case L'\\': text += L'\\'; break;
        case L't': text += L'\t'; break;
        case L'n': text += L'\n'; break;
        case L'r': text += L'\r'; break;
        case L'0': text += L'\0'; break;
        case L'u': {
          int unit = 0;
          for (int d = 0; d < 4 && unit >= 0; ++d) {
            const int digit = i + 1 < wide.size() && wide[i + 1] < 0x80 ? HexValue(static_cast<char>(wide[++i])) : -1;
            unit = digit < 0 ? -1 : unit * 16 + digit;
          }
          if (unit < 0) return Fail(std::string(what) + " holds \\u without four lowercase hex digits");
          text += static_cast<wchar_t>(unit);
          break;
        }
        default: return Fail(std::string(what) + " holds a backslash that starts no escape");
      }
    }
    // Invalid UTF-8 (read as U+FFFD) and needless escapes would be written back otherwise.
    if (Escaped(text) != field) return Fail(std::string(what) + " is not valid UTF-8 in the journal's escaped form");
    return true;
  }

  bool Values(std::size_t count, std::vector<SavedValue>& values) {
    if (count > Remaining() / kValueFieldCount) {
      return Fail("the line holds too few fields for " + std::to_string(count) + " value(s)");
    }
    values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string which = "value " + std::to_string(i + 1);
      std::uint64_t type = 0;
      if (!Text(which + " name", values[i].name) ||
          !Decimal(which + " type", std::numeric_limits<std::uint32_t>::max(), type) ||
          !HexBytes(which + " data", values[i].data)) {
        return false;
      }
      values[i].type = static_cast<std::uint32_t>(type);
    }
    return true;
  }

 private:
  std::vector<std::string_view> fields_;
  std::size_t next_ = 0;
  std::string& problem_;
};

bool ReadKindFields(FieldReader& reader, std::string_view fields, bool withIdentity, JournalEntry& entry) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  for (const char field : fields) {
    std::uint64_t number = 0;
    bool read = true;
    switch (field) {
      case 'i':
        if (!withIdentity) break;
        read = reader.FixedHex("file ID", 16, entry.fileId) &&
               reader.Decimal("count of names", std::numeric_limits<std::uint32_t>::max(), number);
        entry.links = static_cast<std::uint32_t>(number);
        break;
      case 'p': read = reader.Text("path", entry.path); break;
      case 'c': read = reader.Text("copy", entry.copy); break;
      case 'a':
        read = reader.FixedHex("attributes", 8, number);
        entry.attributes = static_cast<std::uint32_t>(number);
        break;
      case 't':
        read = reader.FixedHex("creation time", 16, entry.times.creation) &&
               reader.FixedHex("last access time", 16, entry.times.lastAccess) &&
               reader.FixedHex("last write time", 16, entry.times.lastWrite);
        break;
      case 'z':
        read = reader.Decimal("size", kMax, entry.size) && reader.Digest("SHA-256", entry.sha256);
        break;
      case 's': read = reader.Text("security", entry.security); break;
      case 'h': read = reader.Text("hive", entry.hive); break;
      case 'n': read = reader.Decimal("number of the entry not done", kMax, entry.notDone); break;
      case 'v': read = reader.Values(1, entry.values); break;
      case 'V':
        read = reader.Decimal("value count", kMax, number) &&
               reader.Values(static_cast<std::size_t>(number), entry.values);
        break;
      default: read = reader.Fail("the journal's layout is broken");
    }
    if (!read) return false;
  }
  return true;
}

}  // namespace

std::string JournalLine(const JournalEntry& entry) {
  const KindLayout* layout = LayoutOf(entry.kind);
  std::string line = std::to_string(entry.number) + '\t';
  // An entry of no known kind gets a word no reader takes, never another kind's line.
  line += layout ? std::string(layout->word) : "unknown-kind-" + std::to_string(static_cast<int>(entry.kind));
  for (const char field : layout ? layout->fields : std::string_view()) {
    switch (field) {
      case 'p': line += '\t' + Escaped(entry.path); break;
      case 'c': line += '\t' + Escaped(entry.copy); break;
      case 'a': line += '\t'; AppendHex(line, entry.attributes, 8); break;
      case 't':
        for (const std::uint64_t time : {entry.times.creation, entry.times.lastAccess, entry.times.lastWrite}) {
          line += '\t';
          AppendHex(line, time, 16);
        }
        break;
      // A digest of any other length gives a line no reader takes.
      case 'z': line += '\t' + std::to_string(entry.size) + '\t' + entry.sha256; break;
      case 's': line += '\t' + Escaped(entry.security); break;
      case 'h': line += '\t' + Escaped(entry.hive); break;
      case 'n': line += '\t' + std::to_string(entry.notDone); break;
      case 'i':
        line += '\t';
        AppendHex(line, entry.fileId, 16);
        line += '\t' + std::to_string(entry.links);
        break;
      case 'V': line += '\t' + std::to_string(entry.values.size()); [[fallthrough]];
      // A value entry without exactly one value gives a line of the wrong length, which no
      // reader takes: undo then stops instead of restoring the wrong value.
      case 'v':
        for (const auto& value : entry.values) AppendValue(line, value);
        break;
      default: break;
    }
  }
  return line;
}

std::optional<JournalEntry> ParseJournalLine(std::string_view line, std::string& problem, bool withIdentity) {
  problem.clear();
  // Never in a written line: a NUL is what a file cut by a crash is often padded with.
  if (line.find('\0') != std::string_view::npos) problem = "the line holds a NUL byte";
  if (line.find_first_of("\r\n") != std::string_view::npos) problem = "the line holds a line break";
  if (!problem.empty()) return std::nullopt;
  FieldReader reader(line, problem);
  JournalEntry entry;
  std::string_view word;
  if (!reader.Decimal("entry number", std::numeric_limits<std::uint64_t>::max(), entry.number) ||
      !reader.Next("kind", word)) {
    return std::nullopt;
  }
  const KindLayout* layout = LayoutOf(word);
  if (!layout) {
    problem = "unknown kind \"" + std::string(word) + "\"";
    return std::nullopt;
  }
  entry.kind = layout->kind;
  if (!ReadKindFields(reader, layout->fields, withIdentity, entry)) return std::nullopt;
  if (reader.Remaining() != 0) {
    problem = std::to_string(reader.Remaining()) + " field(s) more than a \"" + std::string(word) + "\" line holds";
    return std::nullopt;
  }
  return entry;
}

Journal ParseJournal(std::string_view text) {
  Journal journal;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  bool header = false;
  bool withIdentity = true;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const bool ended = end != std::string_view::npos;
    std::string_view line = text.substr(start, ended ? end - start : std::string_view::npos);
    start = ended ? end + 1 : text.size();
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 1) {
      withIdentity = line == kJournalHeader;
      header = withIdentity || line == kJournalHeaderWithoutIdentity;
      if (header) continue;
      break;
    }
    std::string problem;
    if (auto entry = ParseJournalLine(line, problem, withIdentity)) {
      journal.entries.push_back(std::move(*entry));
    } else {
      journal.problems.push_back("line " + std::to_string(lineNumber) + ": " + problem);
      journal.lastLineCut = !ended;
    }
  }
  if (!header) {
    journal.problems.push_back(std::string("line 1: not a backup journal: the first line is not \"") +
                               kJournalHeader + "\"");
  }
  return journal;
}
