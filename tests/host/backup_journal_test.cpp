#include "backup/backup_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace std::string_literals;

namespace {

// Lines are written with | for each tab, to keep them readable.
std::string Tabs(std::string line) {
  std::replace(line.begin(), line.end(), '|', '\t');
  return line;
}

std::vector<std::uint8_t> Bytes(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

const std::wstring kSmiley{wchar_t(0xD83D), wchar_t(0xDE00)};  // a surrogate pair on every host
const SavedTimes kTimes{0x01d9a0b1c2d3e4f5, 0, 0xffffffffffffffff};
constexpr char kTimesText[] = "|01d9a0b1c2d3e4f5|0000000000000000|ffffffffffffffff";

JournalEntry Entry(std::uint64_t number, JournalKind kind, std::wstring path, std::wstring copy = {},
                   std::uint32_t attributes = 0, SavedTimes times = {}, std::vector<SavedValue> values = {},
                   std::uint64_t notDone = 0) {
  JournalEntry entry;
  entry.number = number;
  entry.kind = kind;
  entry.path = std::move(path);
  entry.copy = std::move(copy);
  entry.attributes = attributes;
  entry.times = times;
  entry.values = std::move(values);
  entry.notDone = notDone;
  return entry;
}

const std::string kDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// A file's or folder's entry with its size, digest and security descriptor.
JournalEntry Kept(JournalEntry entry, std::uint64_t size, std::wstring security, std::uint64_t fileId = 0,
                  std::uint32_t links = 0) {
  entry.size = size;
  entry.sha256 = entry.kind == JournalKind::Folder ? "" : kDigest;
  entry.security = std::move(security);
  entry.fileId = fileId;
  entry.links = links;
  return entry;
}

JournalEntry InHive(JournalEntry entry, std::wstring hive, std::wstring security = {}) {
  entry.hive = std::move(hive);
  entry.security = std::move(security);
  return entry;
}

}  // namespace

TEST(BackupJournalLine, EveryKindIsWrittenInItsFormAndReadBackTheSame) {
  using K = JournalKind;
  const SavedValue odd{L"a\\b\tc\n", 1, Bytes("x\0"s)};
  const SavedValue empty{L"", 0, {}};
  const struct {
    JournalEntry entry;
    std::string line;
  } cases[] = {
      {Entry(1, K::Attributes, L"\\\\?\\C:\\a\tb", L"", 0x27),
       R"(1|attributes|\\\\?\\C:\\a\tb|00000027)"},
      {Kept(Entry(2, K::File, L"C:\\Файл", L"files\\2", 0x20, kTimes), 0, L"O:BAD:P(A;;FA;;;SY)", 0x0001000000abcdef, 1),
       R"(2|file|C:\\Файл|files\\2|00000020)"s + kTimesText + "|0|" + kDigest + "|O:BAD:P(A;;FA;;;SY)|0001000000abcdef|1"},
      {Kept(Entry(3, K::Folder, L"C:\\line\nbreak\r", L"", 0xffffffff), 0, L""),
       R"(3|folder|C:\\line\nbreak\r|ffffffff|)"},
      {Entry(4, K::Link, L"C:\\" + kSmiley, L"files\\4"), R"(4|link|C:\\😀|files\\4)"},
      {Kept(Entry(5, K::RestartFile, L"C:\\r", L"f", 1, kTimes), 18446744073709551615u, L"x\ty"),
       "5|restart-file|C:\\\\r|f|00000001"s + kTimesText + "|18446744073709551615|" + kDigest + "|x\\ty|0000000000000000|0"},
      {Entry(6, K::Key, L"HKEY_LOCAL_MACHINE\\Q", L"", 0, {}, {odd, empty}),
       R"(6|key|HKEY_LOCAL_MACHINE\\Q|||2|a\\b\tc\n|1|7800||0|)"},
      {InHive(Entry(7, K::Key, L"HKEY_USERS\\S-1"), L"C:\\Users\\o\\NTUSER.DAT", L"D:(A;;KA;;;BA)"),
       R"(7|key|HKEY_USERS\\S-1|C:\\Users\\o\\NTUSER.DAT|D:(A;;KA;;;BA)|0)"},
      {InHive(Entry(8, K::Value, L"K", L"", 0, {}, {{L"Имя", 4294967295u, {0xde, 0xad}}}), L"h"),
       "8|value|K|h|Имя|4294967295|dead"},
      {Entry(9, K::WrittenValue, L"K", L"", 0, {}, {empty}), "9|written-value|K|||0|"},
      {Entry(10, K::Process, L"qrv.exe"), "10|process|qrv.exe"},
      {Entry(18446744073709551615u, K::Service, L""), "18446744073709551615|service|"},
      {Entry(12, K::NotDone, std::wstring(L"no\0\r", 4), L"", 0, {}, {}, 11), R"(12|not-done|11|no\0\r)"},
      // A surrogate without its partner cannot be UTF-8; it keeps its unit as \u.
      {Entry(13, K::Process, {wchar_t(0xD800), L'x', wchar_t(0xDFFF)}), R"(13|process|\ud800x\udfff)"},
  };
  for (const auto& c : cases) {
    const std::string line = JournalLine(c.entry);
    EXPECT_EQ(line, Tabs(c.line));
    std::string problem;
    const auto parsed = ParseJournalLine(line, problem);
    ASSERT_TRUE(parsed) << line << ": " << problem;
    EXPECT_EQ(*parsed, c.entry) << line;
    EXPECT_EQ(problem, "");
  }
}

TEST(BackupJournalLine, ValueLinesWithoutExactlyOneValueDoNotParse) {
  const SavedValue value{L"v", 1, {}};
  for (const auto& values : {std::vector<SavedValue>{}, std::vector<SavedValue>{value, value}}) {
    std::string problem;
    EXPECT_FALSE(ParseJournalLine(JournalLine(Entry(1, JournalKind::Value, L"K", L"", 0, {}, values)), problem));
    EXPECT_NE(problem, "");
  }
}

TEST(BackupJournalLine, EveryDamagedFieldIsRefusedWithItsReason) {
  const struct {
    std::string line;
    std::string problem;
  } cases[] = {
      {"", "entry number \"\" is not a decimal number"},
      {"x|process|a", "entry number \"x\" is not"},
      {"01|process|a", "entry number \"01\" is not"},
      {"18446744073709551616|process|a", "is not a decimal number"},
      {"1|Process|a", "unknown kind \"Process\""},
      {"1", "the line ends before its kind"},
      {"1|process", "the line ends before its path"},
      {"1|process|a|b", "1 field(s) more than a \"process\" line holds"},
      {"1|attributes|p|0000002", "attributes \"0000002\" is not 8 lowercase hex digits"},
      {"1|attributes|p|0000002A", "is not 8 lowercase hex digits"},
      {"1|file|p|c|00000000|0|0|0", "creation time \"0\" is not 16 lowercase hex digits"},
      {"1|value|k||n|1|abc", "value 1 data has an odd number of hex digits"},
      {"1|value|k||n|1|0g", "value 1 data holds a character that is not a lowercase hex digit"},
      {"1|value|k||n|4294967296|00", "value 1 type \"4294967296\" is not a decimal number up to 4294967295"},
      {"1|value|k||n|1", "the line holds too few fields for 1 value(s)"},
      {"1|key|k|||2|n|1|00", "too few fields for 2 value(s)"},
      {"1|key|k|\\q||0", "hive holds a backslash that starts no escape"},
      {"1|folder|p|00000010", "the line ends before its security"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|0|" + kDigest.substr(1) + "|s",
       "SHA-256 is not 64 lowercase hex digits"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|0|" + kDigest.substr(1) + "A|s",
       "SHA-256 is not 64 lowercase hex digits"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|01|" + kDigest + "|s",
       "size \"01\" is not a decimal number"},
      {"1|not-done|x|why", "number of the entry not done \"x\""},
      {"1|process|a\\q", "path holds a backslash that starts no escape"},
      {"1|link|p|\\u12", "copy holds \\u without four lowercase hex digits"},
      {"1|process|\\u0041", "path is not valid UTF-8 in the journal's escaped form"},
      {"1|process|\\ud83d\\ude00", "path is not valid UTF-8"},
      {"1|process|\xff", "path is not valid UTF-8"},
      {"1|process|\xed\xa0\x80", "path is not valid UTF-8"},
      {"1|process|a\rb", "the line holds a line break"},
      {"1|process|a\0b"s, "the line holds a NUL byte"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|0|" + kDigest + "|s",
       "the line ends before its file ID"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|0|" + kDigest + "|s|12|1",
       "file ID \"12\" is not 16 lowercase hex digits"},
      {"1|file|p|c|00000000|0000000000000000|0000000000000000|0000000000000000|0|" + kDigest + "|s|0000000000000012|",
       "count of names \"\" is not a decimal number"},
  };
  for (const auto& c : cases) {
    std::string problem = "stale";
    EXPECT_FALSE(ParseJournalLine(Tabs(c.line), problem)) << c.line;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.line << " gave: " << problem;
  }
}

TEST(BackupJournalText, HeaderLineEndsAndACutLastLine) {
  const std::string header = kJournalHeader;
  const std::string notJournal = "line 1: not a backup journal: the first line is not \"" + header + "\"";
  const struct {
    std::string text;
    std::size_t entries;
    std::vector<std::string> problems;
    bool lastLineCut;
  } cases[] = {
      {"", 0, {notJournal}, false},
      {header + "2\n1\tprocess\ta\n", 0, {notJournal}, false},
      {"1\tprocess\ta\n", 0, {notJournal}, false},
      {header, 0, {}, false},
      {header + "\r\n1\tprocess\ta\r\n2\tservice\tb\n", 2, {}, false},
      {header + "\n1\tprocess\ta\n\n2\tprocesses\tb\n3\tservice\tc", 2,
       {"line 3: entry number \"\" is not a decimal number up to 18446744073709551615",
        "line 4: unknown kind \"processes\""},
       false},
      {header + "\n1\tprocess\ta\n2\tfile\tC:\\\\x\tfi", 1, {"line 3: the line ends before its attributes"}, true},
      // A journal of the first format holds no digests: it is not read as this one.
      {"Velmora Cleaner backup journal 1\n1\tprocess\ta\n", 0, {notJournal}, false},
      {header + "\n1\tprocess\ta\n2\tfile\tC:\\\\x\tfi\n", 1, {"line 3: the line ends before its attributes"}, false},
      // A journal of the version before keeps no identity of its copies: its file lines are
      // read without one, and a line of this version's form is too long for it.
      {std::string(kJournalHeaderWithoutIdentity) + "\n1\tfile\tp\tc\t00000000\t0000000000000000\t0000000000000000\t"
           "0000000000000000\t0\t" + kDigest + "\ts\n",
       1, {}, false},
      {std::string(kJournalHeaderWithoutIdentity) + "\n1\tfile\tp\tc\t00000000\t0000000000000000\t0000000000000000\t"
           "0000000000000000\t0\t" + kDigest + "\ts\t0000000000000001\t1\n",
       0, {"line 2: 2 field(s) more than a \"file\" line holds"}, false},
  };
  for (const auto& c : cases) {
    const Journal journal = ParseJournal(c.text);
    EXPECT_EQ(journal.entries.size(), c.entries) << c.text;
    EXPECT_EQ(journal.problems, c.problems) << c.text;
    EXPECT_EQ(journal.lastLineCut, c.lastLineCut) << c.text;
  }
  const Journal journal = ParseJournal(header + "\r\n7\tservice\tb\r\n");
  ASSERT_EQ(journal.entries.size(), 1u);
  EXPECT_EQ(journal.entries[0], Entry(7, JournalKind::Service, L"b"));
}
