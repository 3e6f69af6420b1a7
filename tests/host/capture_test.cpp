#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/rules/rule_text_code.h"
#include "platform/errors.h"
#include "tools/capture/capture_noise.h"
#include "tools/capture/capture_paths.h"
#include "tools/capture/capture_rules.h"
#include "tools/rule_tool.h"
#include "tools/snapshot/snapshot_reader.h"
#include "tools/snapshot/snapshot_writer.h"

namespace {

constexpr char kFolders[] =
    "#folder\tWindows\tC:\\windows\n"
    "#folder\tSystem\tC:\\windows\\system32\n"
    "#folder\tProgramFiles\tC:\\Program Files\n"
    "#folder\tCommonFiles\tC:\\Program Files\\Common Files\n"
    "#folder\tProgramData\tC:\\ProgramData\n"
    "#folder\tProfile\tC:\\users\\ann\n";

// A snapshot from records written as "K path", "V key|name|type|text", "D path", "F folder|name|size|hash".
std::string Snapshot(const std::vector<std::string>& records) {
  std::string text = std::string(kSnapshotFormatLine) + "\n" + kFolders;
  for (const std::string& written : records) {
    std::vector<std::string> parts;
    std::stringstream rest(written.substr(2));
    for (std::string part; std::getline(rest, part, '|');) parts.push_back(part);
    SnapshotRecord record;
    switch (written[0]) {
      case 'K': record = {RecordKind::Key, parts[0], {}, {}}; break;
      case 'V': {
        DataHash hash;
        hash.Add(parts[3].data(), parts[3].size());
        record = {RecordKind::Value, parts[0], parts[1],
                  FormatValueFacts({static_cast<std::uint32_t>(std::stoul(parts[2])), parts[3].size(), hash.Hex(), parts[3]})};
        break;
      }
      case 'D': record = {RecordKind::Directory, parts[0], {}, "16"}; break;
      default: record = {RecordKind::File, parts[0], parts[1], parts[2] + "\t32\t1\t1\t" + parts[3]}; break;
    }
    text += FormatRecord(record) + "\n";
  }
  return text;
}

CapturedRules Capture(const std::string& before, const std::string& after, const std::string* baseline = nullptr) {
  MemoryByteSource beforeSource(before), afterSource(after), baselineSource(baseline ? *baseline : std::string());
  SnapshotReader beforeReader(beforeSource), afterReader(afterSource);
  if (baseline == nullptr) return CaptureRules(beforeReader, afterReader, nullptr);
  SnapshotReader baselineReader(baselineSource);
  return CaptureRules(beforeReader, afterReader, &baselineReader);
}

// The lines between the header and end marker of a section; the remark lines after "; ".
std::vector<std::string> Section(const std::string& text, const std::string& header) {
  std::vector<std::string> lines;
  const auto start = text.find(header + "\r\n");
  if (start == std::string::npos) return lines;
  std::stringstream rest(text.substr(start + header.size() + 2));
  const std::string end = header.substr(0, header.size() - 1) + "_End]";
  for (std::string line; std::getline(rest, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == end) break;
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Remarks(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream all(text.substr(std::min(text.size(), text.find("; Not written as rules:"))));
  std::string line;
  std::getline(all, line);
  while (std::getline(all, line)) lines.push_back(line);
  return lines;
}

using Lines = std::vector<std::string>;

struct CaptureCase {
  const char* name;
  Lines before;
  Lines after;
  const char* header;  // the section the rule goes to, or nullptr for none
  Lines rules;
  const char* remark;  // a part of the one remark expected, or nullptr for none
};

const std::vector<CaptureCase>& CaptureCases() {
  static const std::vector<CaptureCase> cases = {
      {"a new key is written at its highest new level only",
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE"},
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "V HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme|Path|1|C:\\",
        "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Widget", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta"},
       "[Registry_Delete]", {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta"}, nullptr},
      {"a new value in a key that existed",
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Run", "V HKEY_CURRENT_USER\\Software\\Run|Old|1|a"},
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Run", "V HKEY_CURRENT_USER\\Software\\Run|Acme|1|b",
        "V HKEY_CURRENT_USER\\Software\\Run|Old|1|a"},
       "[Registry_Delete_Val]", {"HKEY_CURRENT_USER\\Software\\Run=Acme"}, nullptr},
      {"a string value renamed aside is named back",
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mine|1|x.exe"},
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mine.saved|1|x.exe"},
       "[Registry_Move_Val]", {"HKEY_CURRENT_USER\\Software\\Mine=Mine.saved"}, nullptr},
      {"a renamed number cannot be renamed back by the cleaner",
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mine|4|1234"},
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mine.saved|4|1234"},
       nullptr, {}, "only string values"},
      {"a changed value is named with its old and new data",
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mode|1|off"},
       {"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|Mode|1|on"},
       nullptr, {}, "changed from \"off\" to \"on\""},
      {"a key the guard keeps is a remark",
       {"K HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"},
       {"K HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", "K HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Dhcp"},
       nullptr, {}, "not captured whole (what is new below it is captured item by item): \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Dhcp\""},
      {"below a new key the guard keeps, what is new is captured item by item",
       {"K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows"},
       {"K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows", "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion",
        "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        "V HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|Acme|1|a.exe"},
       "[Registry_Delete_Val]", {"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run=Acme"}, "Run\": "},
      {"the first product on a machine: Windows Installer's registration keys are taken at the product's level",
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"},
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer",
        "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Features", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Features\\A1",
        "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\A1",
        "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\A1\\SourceList"},
       "[Registry_Delete]",
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Features\\A1", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products\\A1"},
       nullptr},
      {"noise: the random seed",
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\\RNG"},
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\\RNG",
        "V HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\\RNG|Seed|3|xyz"},
       nullptr, {}, nullptr},
      {"other users' keys are the current user's, the 32-bit view's WOW6432Node is dropped",
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node", "K HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software"},
       {"K HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node", "K HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Acme",
        "K HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software", "K HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\Acme"},
       "[Registry_Delete]", {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "HKEY_CURRENT_USER\\Software\\Acme"}, nullptr},
      {"a letter the rule format cannot store",
       {"K HKEY_CURRENT_USER\\Software"},
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\\xD0\x94\xD0\xBE\xD0\xBC"},
       nullptr, {}, "cannot store"},
      {"new folders at their highest new level, with placeholders",
       {"D C:\\Program Files", "D C:\\Program Files\\Common Files", "D C:\\windows", "D C:\\windows\\system32"},
       {"D C:\\Program Files", "D C:\\Program Files\\Acme", "D C:\\Program Files\\Acme\\bin",
        "D C:\\Program Files\\Common Files", "D C:\\Program Files\\Common Files\\ZDN Shared Files",
        "D C:\\Program Files\\Velmora Lab", "D C:\\windows", "D C:\\windows\\Acme", "D C:\\windows\\system32",
        "D C:\\windows\\system32\\AcmeData"},
       "[Delete_Folder]",
       {"%PF%\\Acme", "%Shared%", "%Program%", "%WinDir%\\Acme", "%winsys%\\AcmeData"}, nullptr},
      {"a new file in a folder that existed",
       {"D C:\\windows", "D C:\\windows\\system32", "F C:\\windows\\system32|old.dll|3|a"},
       {"D C:\\windows", "D C:\\windows\\system32", "F C:\\windows\\system32|acme.sys|4|b",
        "F C:\\windows\\system32|old.dll|3|a"},
       "[Delete_File]", {"%winsys%\\acme.sys"}, nullptr},
      {"a user's folder is a remark with the advice",
       {"D C:\\users\\ann\\AppData"},
       {"D C:\\users\\ann\\AppData", "D C:\\users\\ann\\AppData\\Acme"},
       nullptr, {}, "a user's own folder"},
      {"noise: Windows' own per-user places, and a key made only on the way to one",
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Classes"},
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Classes",
        "K HKEY_CURRENT_USER\\Software\\Classes\\Local Settings",
        "K HKEY_CURRENT_USER\\Software\\Classes\\Local Settings\\MuiCache",
        "V HKEY_CURRENT_USER\\Software\\Classes\\Local Settings\\MuiCache|LangID|3|x",
        "K HKEY_CURRENT_USER\\Software\\Microsoft", "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows",
        "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell",
        "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\BagMRU",
        "V HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\BagMRU|0|3|x",
        "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\ShellNoRoam",
        "K HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache",
        "V HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache|C:\\a.exe|1|A"},
       nullptr, {}, nullptr},
      {"noise: a folder in a user's own folder made only on the way to a cache is no remark",
       {"D C:\\users\\ann\\AppData\\Local"},
       {"D C:\\users\\ann\\AppData\\Local", "D C:\\users\\ann\\AppData\\Local\\Microsoft",
        "D C:\\users\\ann\\AppData\\Local\\Microsoft\\Windows",
        "D C:\\users\\ann\\AppData\\Local\\Microsoft\\Windows\\INetCache",
        "F C:\\users\\ann\\AppData\\Local\\Microsoft\\Windows\\INetCache|a.dat|1|x"},
       nullptr, {}, nullptr},
      {"a new key with something of its own beside a noise place, or empty, is written whole",
       {"K HKEY_CURRENT_USER\\Software"},
       {"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Acme",
        "K HKEY_CURRENT_USER\\Software\\Acme\\Software", "K HKEY_CURRENT_USER\\Software\\Acme\\Software\\Wine",
        "V HKEY_CURRENT_USER\\Software\\Acme\\Software\\Wine|x|1|y", "K HKEY_CURRENT_USER\\Software\\Acme\\Zeta",
        "V HKEY_CURRENT_USER\\Software\\Acme\\Zeta|v|1|a", "K HKEY_CURRENT_USER\\Software\\Beta",
        "K HKEY_CURRENT_USER\\Software\\Gamma", "K HKEY_CURRENT_USER\\Software\\Gamma\\Software",
        "K HKEY_CURRENT_USER\\Software\\Gamma\\Software\\Wine", "K HKEY_CURRENT_USER\\Software\\Kappa",
        "K HKEY_CURRENT_USER\\Software\\Kappa\\Empty", "K HKEY_CURRENT_USER\\Software\\Kappa\\Software",
        "K HKEY_CURRENT_USER\\Software\\Kappa\\Software\\Wine", "K HKEY_CURRENT_USER\\Software\\Zulu"},
       "[Registry_Delete]",
       {"HKEY_CURRENT_USER\\Software\\Acme", "HKEY_CURRENT_USER\\Software\\Beta", "HKEY_CURRENT_USER\\Software\\Kappa",
        "HKEY_CURRENT_USER\\Software\\Zulu"},
       nullptr},
      {"noise: temporary files and the Installer's cache",
       {"D C:\\users\\ann\\AppData\\Local\\Temp", "D C:\\windows", "D C:\\windows\\Installer"},
       {"D C:\\users\\ann\\AppData\\Local\\Temp", "D C:\\users\\ann\\AppData\\Local\\Temp\\msi1", "D C:\\windows",
        "F C:\\windows|setup.log|1|a", "D C:\\windows\\Installer", "F C:\\windows\\Installer|1a2b.msi|9|c"},
       nullptr, {}, nullptr},
  };
  return cases;
}

TEST(Capture, TurnsDifferencesIntoRulesAndRemarks) {
  for (const CaptureCase& c : CaptureCases()) {
    CapturedRules rules;
    try {
      rules = Capture(Snapshot(c.before), Snapshot(c.after));
    } catch (const Exception& error) {
      ADD_FAILURE() << c.name << ": " << error.Message();
      continue;
    }
    const Lines remarks = Remarks(rules.text);
    if (c.header != nullptr) {
      EXPECT_EQ(Section(rules.text, c.header), c.rules) << c.name << "\n" << rules.text;
      EXPECT_EQ(rules.rules, c.rules.size()) << c.name << "\n" << rules.text;
    } else {
      EXPECT_EQ(rules.rules, 0u) << c.name << "\n" << rules.text;
    }
    if (c.remark != nullptr) {
      ASSERT_EQ(remarks.size(), 1u) << c.name << "\n" << rules.text;
      EXPECT_NE(remarks[0].find(c.remark), std::string::npos) << c.name << "\n" << rules.text;
    } else {
      EXPECT_TRUE(remarks.empty()) << c.name << "\n" << rules.text;
    }
  }
}

TEST(Capture, BaselineDifferencesCountAsNoise) {
  const std::string before = Snapshot({"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Cache",
                                       "V HKEY_CURRENT_USER\\Software\\Cache|stamp|1|1"});
  const std::string baseline =
      Snapshot({"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Cache",
                "V HKEY_CURRENT_USER\\Software\\Cache|stamp|1|2", "K HKEY_CURRENT_USER\\Software\\Mru"});
  const std::string after = Snapshot({"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Acme",
                                      "K HKEY_CURRENT_USER\\Software\\Cache", "V HKEY_CURRENT_USER\\Software\\Cache|stamp|1|3",
                                      "K HKEY_CURRENT_USER\\Software\\Mru", "K HKEY_CURRENT_USER\\Software\\Mru\\a"});
  const CapturedRules without = Capture(before, after);
  EXPECT_EQ(Section(without.text, "[Registry_Delete]"),
            (Lines{"HKEY_CURRENT_USER\\Software\\Acme", "HKEY_CURRENT_USER\\Software\\Mru"}));
  const CapturedRules with = Capture(before, after, &baseline);
  EXPECT_EQ(Section(with.text, "[Registry_Delete]"), Lines{"HKEY_CURRENT_USER\\Software\\Acme"}) << with.text;
  EXPECT_TRUE(Remarks(with.text).empty()) << with.text;
}

TEST(Capture, SameSnapshotTwiceGivesNoSection) {
  const std::string snapshot = Snapshot({"K HKEY_CURRENT_USER\\Software", "V HKEY_CURRENT_USER\\Software|a|1|b",
                                         "D C:\\Program Files", "F C:\\Program Files|x.txt|1|c"});
  const CapturedRules rules = Capture(snapshot, snapshot);
  EXPECT_EQ(rules.rules, 0u);
  EXPECT_EQ(rules.text.find('['), std::string::npos) << rules.text;
}

// A file's content is told by the hashes where both snapshots read it, else by its file ID and
// change time: an installer that rewrites a file in place and puts its write time back, or
// replaces it by another, is found without reading a byte.
TEST(SnapshotRecords, AFileIsUnchangedWhenWhatBothRecordsTellAgrees) {
  const struct {
    const char* before;
    const char* after;
    bool same;
    const char* why;
  } cases[] = {
      {"abc", "abc", true, "the same hash"},
      {"abc", "abd", false, "another hash"},
      {"@5.9", "@5.9", true, "the same ID and change time"},
      {"@5.9", "@5.a", false, "rewritten in place, its write time put back"},
      {"@5.9", "@6.9", false, "replaced by another file"},
      {"abc@5.9", "abc@7.b", true, "put back by an undo, read on both sides: the content decides"},
      {"abc@5.9", "abd@5.9", false, "read on both sides: the content decides"},
      {"@5.9", "abc@5.9", true, "read on one side only: ID and change time decide"},
      {"@5.9", "abc@5.a", false, "read on one side only, changed"},
      {"-", "-", true, "too large to read: size and times decide"},
      {"-", "abc", true, "nothing more to compare than size and times"},
  };
  for (const auto& c : cases) {
    const SnapshotRecord before{RecordKind::File, "C:\\A", "a.dll", std::string("10\t32\t1\t1\t") + c.before};
    const SnapshotRecord after{RecordKind::File, "C:\\A", "a.dll", std::string("10\t32\t1\t1\t") + c.after};
    EXPECT_EQ(SameRecordData(before, after), c.same) << c.why;
    EXPECT_EQ(SameRecordData(after, before), c.same) << c.why;
    EXPECT_EQ(FormatFileContent(ParseFileContent(c.before)), c.before);
  }
  // Size, attributes and times differ: changed, whatever the content says.
  for (const char* other : {"11\t32\t1\t1\tabc@5.9", "10\t33\t1\t1\tabc@5.9", "10\t32\t2\t1\tabc@5.9", "10\t32\t1\t2\tabc@5.9"}) {
    EXPECT_FALSE(SameRecordData({RecordKind::File, "C:\\A", "a.dll", "10\t32\t1\t1\tabc@5.9"},
                                {RecordKind::File, "C:\\A", "a.dll", other}))
        << other;
  }
  EXPECT_FALSE(SameRecordData({RecordKind::Directory, "C:\\A", {}, "16"}, {RecordKind::Directory, "C:\\A", {}, "17"}));
}

TEST(Capture, AFileChangedInPlaceIsARemarkAndAnUntouchedOneNothing) {
  const std::string before = Snapshot({"D C:\\Program Files", "F C:\\Program Files|kept.dll|1|@5.9",
                                       "F C:\\Program Files|patched.dll|1|@6.9"});
  const std::string after = Snapshot({"D C:\\Program Files", "F C:\\Program Files|kept.dll|1|abc@5.9",
                                      "F C:\\Program Files|patched.dll|1|@6.f"});
  const CapturedRules rules = Capture(before, after);
  EXPECT_EQ(rules.rules, 0u) << rules.text;
  const Lines remarks = Remarks(rules.text);
  ASSERT_EQ(remarks.size(), 1u) << rules.text;
  EXPECT_NE(remarks[0].find("\"C:\\Program Files\\patched.dll\" was changed by the installation"), std::string::npos)
      << rules.text;
}

TEST(SnapshotRecords, SortNameByNameWithAContainersLeavesFirst) {
  const std::vector<std::pair<SnapshotRecord, SnapshotRecord>> ordered = {
      {{RecordKind::Key, "HKEY_CURRENT_USER\\Software", {}, {}}, {RecordKind::Key, "HKEY_LOCAL_MACHINE\\SOFTWARE", {}, {}}},
      {{RecordKind::Key, "HKEY_LOCAL_MACHINE\\Z", {}, {}}, {RecordKind::Directory, "C:\\A", {}, "16"}},
      {{RecordKind::Key, "A\\B", {}, {}}, {RecordKind::Value, "A\\B", "v", {}}},
      {{RecordKind::Value, "A\\B", "zz", {}}, {RecordKind::Key, "A\\B\\C", {}, {}}},
      {{RecordKind::Key, "A\\B\\C", {}, {}}, {RecordKind::Key, "A\\B-x", {}, {}}},
      {{RecordKind::Key, "A\\b", {}, {}}, {RecordKind::Key, "A\\C", {}, {}}},
      {{RecordKind::Key, "A\\B", {}, {}}, {RecordKind::Key, "A\\b", {}, {}}},
      {{RecordKind::File, "C:\\x", "a.txt", {}}, {RecordKind::Directory, "C:\\x\\a", {}, {}}},
  };
  for (const auto& [first, second] : ordered) {
    EXPECT_TRUE(CompareRecords(first, second) < 0) << first.container << " / " << second.container;
    EXPECT_TRUE(CompareRecords(second, first) > 0) << first.container << " / " << second.container;
  }
}

TEST(SnapshotRecords, RoundTripThroughTheLineFormat) {
  const SnapshotRecord record{RecordKind::Value, "HKEY_CURRENT_USER\\Soft%ware", std::string("tab\there\nnul\0x", 14),
                              FormatValueFacts({1, 4, "00ff", "a\tb"})};
  const SnapshotRecord back = ParseRecord(FormatRecord(record));
  EXPECT_EQ(back.container, record.container);
  EXPECT_EQ(back.name, record.name);
  EXPECT_EQ(ParseValueFacts(back.data).text, "a\tb");
}

TEST(SnapshotReader, RefusesMalformedAndUnorderedInput) {
  const std::string header = std::string(kSnapshotFormatLine) + "\n";
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"not a snapshot\n", "line 1: not a snapshot"},
      {header + "X\tC:\\a\n", "line 2: unknown record kind"},
      {header + "V\tHKEY_CURRENT_USER\\a\tname\n", "line 2: a V record has 7 fields"},
      {header + "K\tA\\%4\n", "line 2: \"%\" without two hex digits"},
      {header + "D\tC:\\a\tx\n", "line 2: bad attributes"},
      {header + "K\tA\\B\nK\tA\n", "line 3: out of order"},
      {header + "K\tA\nK\tA\n", "line 3: out of order"},
      {header + "F\tC:\\a\tf\t1\t2\t3\t4\n", "line 2: a F record has 8 fields"},
  };
  for (const auto& [text, message] : bad) {
    MemoryByteSource source(text);
    try {
      SnapshotReader reader(source, "s.snap");
      while (reader.Next()) {
      }
      ADD_FAILURE() << "accepted: " << text;
    } catch (const EConvertError& error) {
      EXPECT_NE(error.Message().find("s.snap: " + message), std::string::npos) << error.Message();
    }
  }
}

TEST(CapturePaths, WriteFoldersWithThePlaceholdersTheCleanerFillsIn) {
  MemoryByteSource source(std::string(kSnapshotFormatLine) + "\n" + kFolders);
  const SnapshotReader reader(source);
  const std::vector<std::pair<std::string, std::string>> table = {
      {"C:\\windows\\system32\\drivers\\acme.sys", "%winsys%\\drivers\\acme.sys"},
      {"C:\\WINDOWS\\acme.ini", "%WinDir%\\acme.ini"},
      {"C:\\windows2\\acme.ini", "C:\\windows2\\acme.ini"},
      {"C:\\Program Files\\Velmora Lab\\bin", "%Program%\\bin"},
      {"C:\\Program Files\\corvantix", "%Program%"},
      {"C:\\Program Files\\Velmora Lab Tools", "%PF%\\Velmora Lab Tools"},
      {"C:\\Program Files\\Common Files\\ZDN Shared Files\\a.dll", "%Shared%\\a.dll"},
      {"C:\\Program Files\\Common Files\\Acme", "%PF%\\Common Files\\Acme"},
      {"C:\\Program Files\\Common Files\\Velmora Lab\\a.dll", "%Shared%\\a.dll"},
      {"C:\\ProgramData\\Acme", "%ProgData%\\Acme"},
      {"C:\\ProgramDataX\\Acme", "C:\\ProgramDataX\\Acme"},
      {"C:\\users\\ann\\AppData\\Acme", ""},
      {"C:\\users\\ann\\Documents\\Acme", ""},
      // A profile's application data folders by their own placeholders, found as the snapshot
      // names them, and in a snapshot that names none at their places in each profile.
      {"C:\\users\\ann\\AppData\\Roaming\\Velmora Lab\\settings.ini", "%UserRoaming%\\Velmora Lab\\settings.ini"},
      {"C:\\users\\ann\\AppData\\Local\\Velmora Lab", "%UserLocal%\\Velmora Lab"},
      {"C:\\users\\ann\\AppData\\LocalLow\\Velmora Lab", ""},
      {"C:\\users\\ann\\Application Data\\Velmora Lab", "%UserRoaming%\\Velmora Lab"},
      {"C:\\users\\ann\\Local Settings\\Application Data\\Velmora Lab", "%UserLocal%\\Velmora Lab"},
  };
  for (const auto& [path, rule] : table) {
    const RulePath result = RulePathFor(path, reader.Folders());
    EXPECT_EQ(result.text, rule) << path;
    EXPECT_EQ(result.reason.empty(), !rule.empty()) << path;
  }
}

// A snapshot of 64-bit Windows by the 32-bit RuleTool: its Program Files are the (x86) ones, the
// other view's are the 64-bit ones; the cleaner there found its shared and Start Menu folders.
TEST(CapturePaths, On64BitWindowsEachFolderGoesByItsOwnPlaceholder) {
  MemoryByteSource source(std::string(kSnapshotFormatLine) + "\n" +
                          "#folder\tWindows\tC:\\windows\n"
                          "#folder\tSystem\tC:\\windows\\system32\n"
                          "#folder\tSystemWow64\tC:\\windows\\SysWOW64\n"
                          "#folder\tProgramFiles\tC:\\Program Files (x86)\n"
                          "#folder\tCommonFiles\tC:\\Program Files (x86)\\Common Files\n"
                          "#folder\tProgramFilesOther\tC:\\Program Files\n"
                          "#folder\tCommonFilesOther\tC:\\Program Files\\Common Files\n"
                          "#folder\tProgramData\tC:\\ProgramData\n"
                          "#folder\tShared\tC:\\Program Files (x86)\\Common Files\\ZDN Shared Files\n"
                          "#folder\tStartMenu\tC:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora Anti-Virus\n"
                          "#folder\tProfile\tC:\\users\\ann\n"
                          "#folder\tRoaming\tD:\\Roam\\ann\n"
                          "#folder\tLocal\tC:\\users\\ann\\AppData\\Local\n"
                          "#folder\tProfile\tC:\\users\\bob\n"
                          "#folder\tRoaming\tC:\\users\\bob\\AppData\\Roaming\n"
                          "#folder\tLocal\tC:\\users\\bob\\AppData\\Local\n");
  const SnapshotReader reader(source);
  const std::vector<std::pair<std::string, std::string>> table = {
      {"C:\\windows\\system32\\drivers\\zdnflt.sys", "%winsys%\\drivers\\zdnflt.sys"},
      {"C:\\windows\\SysWOW64\\zdnhook.dll", "%winsys%\\zdnhook.dll"},
      {"C:\\Program Files\\Velmora Lab\\x64", "%PF64%\\Velmora Lab\\x64"},
      {"C:\\Program Files\\Common Files\\Velmora Lab", "%CF64%\\Velmora Lab"},
      {"C:\\Program Files (x86)\\Velmora Lab", "%Program%"},
      {"C:\\Program Files (x86)\\Common Files\\ZDN Shared Files\\a.dll", "%Shared%\\a.dll"},
      // The cleaner found ZDN Shared Files: a Velmora Lab beside it is not what %Shared% names.
      {"C:\\Program Files (x86)\\Common Files\\Velmora Lab", "%PF%\\Common Files\\Velmora Lab"},
      {"C:\\ProgramData\\Velmora Lab\\Bases", "%ProgData%\\Velmora Lab\\Bases"},
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora Anti-Virus", ""},
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmora Anti-Virus\\Scan.lnk", ""},
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Acme", "%ProgData%\\Microsoft\\Windows\\Start Menu\\Programs\\Acme"},
      // Each profile's own folders, wherever the user's keys put them; the others' alike.
      {"D:\\Roam\\ann\\Velmora Lab", "%UserRoaming%\\Velmora Lab"},
      {"C:\\users\\bob\\AppData\\Roaming\\Velmora Lab", "%UserRoaming%\\Velmora Lab"},
      {"C:\\users\\bob\\AppData\\Local\\Velmora Lab\\cache.db", "%UserLocal%\\Velmora Lab\\cache.db"},
  };
  for (const auto& [path, rule] : table) {
    const RulePath result = RulePathFor(path, reader.Folders());
    EXPECT_EQ(result.text, rule) << path;
    EXPECT_EQ(result.reason.empty(), !rule.empty()) << path;
    if (rule.empty()) {
      EXPECT_NE(result.reason.find("DEL_LINK"), std::string::npos) << path;
    }
  }
}

TEST(CapturePaths, NameKeysAsTheCleanerCarriesThemOut) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"HKEY_USERS\\S-1-5-21-9-9-9-1001\\Software\\Acme", "HKEY_CURRENT_USER\\Software\\Acme"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Acme", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{1}", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NodeX", "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NodeX"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme"},
  };
  for (const auto& [key, rule] : table) EXPECT_EQ(RuleKeyFor(key), rule) << key;
}

TEST(CaptureNoise, PatternsMatchThePlaceAndWhatLiesBelow) {
  const std::vector<std::tuple<std::string, std::string, bool>> table = {
      {"*\\AppData\\Local\\Temp", "C:\\users\\ann\\AppData\\Local\\Temp", true},
      {"*\\AppData\\Local\\Temp", "C:\\users\\ann\\appdata\\local\\temp", true},
      {"*\\AppData\\Local\\Temp", "C:\\users\\ann\\AppData\\Local\\Temporary", false},
      {"C:\\windows\\*.log", "C:\\windows\\setup.log", true},
      {"C:\\windows\\*.log", "C:\\windows\\setup.txt", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
  };
  for (const auto& [pattern, text, match] : table) EXPECT_EQ(MatchesPattern(pattern, text), match) << pattern << " " << text;
}

TEST(Windows1251, ConvertsCyrillicAndRefusesWhatItHasNoByteFor) {
  EXPECT_EQ(Windows1251FromUtf8("\xD0\x96\xD1\x91 \xE2\x84\x96"), std::string("\xC6\xB8 \xB9"));
  EXPECT_EQ(Windows1251FromUtf8("\xE4\xB8\xAD"), std::nullopt);
  // The engine reads byte 0x98 as U+0098, but the code page leaves it undefined: never written.
  EXPECT_EQ(Windows1251FromUtf8("\xC2\x98"), std::nullopt);
  // Every byte the engine reads back comes out of the encoder as the same byte.
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == 0x98) continue;
    const std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(Windows1251FromUtf8(Utf8FromWindows1251(one)), one) << byte;
  }
  // Д is stored as byte 196, which a rule line cannot hold; о and м can be.
  EXPECT_EQ(StorableRemark("\xD0\x94\xD0\xBE\xD0\xBC x \xE4\xB8\xAD"), "?\xEE\xEC x ?");
}

TEST(SnapshotWriter, ShowsProgressAboutOnceASecond) {
  struct Sink : ByteSink {
    std::string bytes;
    void Store(const char* data, std::size_t size) override { bytes.append(data, size); }
  } sink;
  std::ostringstream progress;
  std::uint64_t clock = 0;
  SnapshotWriter writer(sink, progress, [&] { return clock; });
  for (int i = 0; i < 640; ++i) {
    clock += 50;  // 32 s in all
    writer.Record({RecordKind::Key, "K\\" + std::to_string(100000 + i), {}, {}});
  }
  writer.Flush();
  const std::string shown = progress.str();
  const auto lines = static_cast<int>(std::count(shown.begin(), shown.end(), '\n'));
  EXPECT_GE(lines, 5);
  EXPECT_LE(lines, 34);
  EXPECT_NE(shown.find("snapshot: done: 640 keys"), std::string::npos) << shown;
  MemoryByteSource source(sink.bytes);
  SnapshotReader reader(source);
  int read = 0;
  while (reader.Next()) ++read;
  EXPECT_EQ(read, 640);
}

TEST(CaptureCommand, WritesTheRulesOrSaysWhatIsWrong) {
  const auto folder = std::filesystem::temp_directory_path() / ("capture_command_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary) << text;
    return (folder / name).string();
  };
  const std::string before = write("before.snap", Snapshot({"K HKEY_CURRENT_USER\\Software"}));
  const std::string after = write("after.snap", Snapshot({"K HKEY_CURRENT_USER\\Software", "K HKEY_CURRENT_USER\\Software\\Acme"}));
  const std::string broken = write("broken.snap", std::string(kSnapshotFormatLine) + "\nK\tB\nK\tA\n");
  const std::string rules = (folder / "rules.txt").string();
  struct Run {
    std::vector<std::string> arguments;
    int code;
    std::string error;  // a part of what goes to standard error
  };
  const std::vector<Run> runs = {
      {{"capture", before, after}, kToolFailed, "capture takes BEFORE AFTER -o RULES.txt"},
      {{"capture", before, after, "-o", rules, "--fast"}, kToolFailed, "does not know \"--fast\""},
      {{"capture", before, (folder / "missing.snap").string(), "-o", rules}, kToolFailed, "cannot read"},
      {{"capture", before, broken, "-o", rules}, kToolFailed, "broken.snap: line 3: out of order"},
      {{"capture", before, after, "-o", rules, "--baseline", before}, kToolDone, ""},
  };
  for (const Run& run : runs) {
    std::ostringstream out, err;
    EXPECT_EQ(RunRuleTool(run.arguments, out, err), run.code) << err.str();
    EXPECT_NE(err.str().find(run.error), std::string::npos) << err.str();
    if (run.code != kToolDone) {
      EXPECT_FALSE(std::filesystem::exists(rules)) << "written despite: " << err.str();
    }
  }
  std::ifstream written(rules, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Section(text, "[Registry_Delete]"), Lines{"HKEY_CURRENT_USER\\Software\\Acme"});
  std::filesystem::remove_all(folder);
}

}  // namespace
