#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "startup/settings_parser.h"

namespace {

// Stands for an ANSI code page of one byte a character: Windows-1252 holds U+00E9 (é) but
// no Cyrillic letter.
std::optional<std::string> Latin1(std::wstring_view text) {
  std::string out;
  for (const wchar_t unit : text) {
    if (unit > 0xFF) return std::nullopt;
    out += static_cast<char>(unit);
  }
  return out;
}

CleanerState Read(const std::string& bytes, CleanerState state = {}) {
  ReadStoredSettings(bytes, Latin1, state);
  return state;
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// The fields the settings file can set, with their initial values.
struct Settings {
  int runMode = 0;
  std::string program, shared, start;
  bool del = false, delLink = false, kill = true, restart = false;
};

Settings Of(const CleanerState& state) {
  return {state.RunMode,   state.FolderProgram, state.FolderShared,  state.FolderStart,
          state.OptDelete, state.OptDelLink,    state.OptKillProcess, state.DeleteAtRestart};
}

void ExpectSettings(const std::string& file, const Settings& expected) {
  const Settings got = Of(Read(file));
  const std::string where = testing::PrintToString(file);
  EXPECT_EQ(got.runMode, expected.runMode) << where;
  EXPECT_EQ(got.program, expected.program) << where;
  EXPECT_EQ(got.shared, expected.shared) << where;
  EXPECT_EQ(got.start, expected.start) << where;
  EXPECT_EQ(got.del, expected.del) << where;
  EXPECT_EQ(got.delLink, expected.delLink) << where;
  EXPECT_EQ(got.kill, expected.kill) << where;
  EXPECT_EQ(got.restart, expected.restart) << where;
}

Settings RunMode(int mode) {
  Settings s;
  s.runMode = mode;
  return s;
}

}  // namespace

TEST(SettingsFile, EveryKeyInItsSection) {
  const std::string file =
      "[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n"
      "[Folder]\r\nPROGRAM=C:\\P\r\nSHARED=C:\\S\r\nSTART=C:\\M\r\n[End_Folder]\r\n"
      "[Options]\r\nDELETE=1\r\nDEL_LINK=1\r\nKILLPROCESS=0\r\nDELETE_AT_RESTART=1\r\n[End_Options]\r\n";
  ExpectSettings(file, {1, "C:\\P", "C:\\S", "C:\\M", true, true, false, true});
  ExpectSettings("", Settings{});
}

TEST(SettingsFile, KeysAndHeaders) {
  ExpectSettings("[Mode]\r\nsilent=1\r\n[End_Mode]\r\n", RunMode(1));
  ExpectSettings("[Mode]\r\nSiLeNt=1\r\n", RunMode(1));
  ExpectSettings("[Mode]\r\nSILENT =1\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[Mode]\r\n SILENT=1\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[mode]\r\nSILENT=1\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[Mode] \r\nSILENT=1\r\n", Settings{});
  ExpectSettings(" [Mode]\r\nSILENT=1\r\n", Settings{});
  ExpectSettings("SILENT=1\r\n[Mode]\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[Mode]\r\nSILENT\r\n=1\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[Mode]\r\nSILENT=\r\n[End_Mode]\r\n", Settings{});
}

TEST(SettingsFile, KeysCountOnlyInTheirOwnSection) {
  ExpectSettings("[Folder]\r\nSILENT=1\r\nDELETE=1\r\n[End_Folder]\r\n", Settings{});
  ExpectSettings("[Mode]\r\nPROGRAM=C:\\P\r\nKILLPROCESS=0\r\n[End_Mode]\r\n", Settings{});
  ExpectSettings("[Options]\r\nSTART=C:\\M\r\nSILENT=1\r\n[End_Options]\r\n", Settings{});
  // A header inside another section is an ordinary line, so its section never opens.
  ExpectSettings("[Mode]\r\n[Folder]\r\nPROGRAM=C:\\P\r\n[End_Mode]\r\n", Settings{});
  // Only the section's own end line closes it.
  ExpectSettings("[Mode]\r\n[End_Folder]\r\nSILENT=1\r\n[End_Mode]\r\n", RunMode(1));
  // After the end line, entries are outside every section.
  ExpectSettings("[Mode]\r\n[End_Mode]\r\nSILENT=2\r\n", Settings{});
}

TEST(SettingsFile, ValuesAsTheyStand) {
  Settings folders;
  folders.program = " C:\\P ";
  folders.shared = "C:\\a=b";
  ExpectSettings("[Folder]\r\nPROGRAM= C:\\P \r\nSHARED=C:\\a=b\r\n[End_Folder]\r\n", folders);

  const struct {
    const char* value;
    bool on;
  } switches[] = {{"1", true}, {"yes", false}, {"0", false}, {"1 ", false}, {" 1", false}, {"01", false},
                  {"true", false}};
  for (const auto& c : switches) {
    Settings expected;
    expected.del = c.on;
    expected.delLink = c.on;
    expected.kill = c.on;
    ExpectSettings(std::string("[Options]\r\nDELETE=") + c.value + "\r\nDEL_LINK=" + c.value +
                       "\r\nKILLPROCESS=" + c.value + "\r\n[End_Options]\r\n",
                   expected);
    EXPECT_EQ(Read(std::string("[Options]\r\nALL_USERS=") + c.value + "\r\n[End_Options]\r\n").OptAllUsers, c.on);
    expected.restart = c.on;
    const std::string options = std::string("[Options]\r\nDELETE=") + c.value + "\r\nDEL_LINK=" + c.value +
                                "\r\nKILLPROCESS=" + c.value + "\r\nDELETE_AT_RESTART=" + c.value +
                                "\r\n[End_Options]\r\n";
    ExpectSettings(options, expected);
    // Deletion at restart asked for on the command line stays on whatever the file says.
    CleanerState switched;
    switched.DeleteAtRestart = true;
    EXPECT_TRUE(Read(options, switched).DeleteAtRestart) << c.value;
  }
}

TEST(SettingsFile, EmptyValuesAreIgnoredAndLaterEntriesWin) {
  ExpectSettings("[Folder]\r\nSTART=\r\n[End_Folder]\r\n", Settings{});
  Settings start;
  start.start = "C:\\M1";
  ExpectSettings("[Folder]\r\nSTART=C:\\M1\r\nSTART=\r\n[End_Folder]\r\n", start);
  ExpectSettings("[Options]\r\nKILLPROCESS=\r\n[End_Options]\r\n", Settings{});
  ExpectSettings("[Options]\r\nDELETE=1\r\nDELETE=0\r\n[End_Options]\r\n", Settings{});
  ExpectSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Mode]\r\nSILENT=0\r\n[End_Mode]\r\n", Settings{});
  start.start = "C:\\M2";
  ExpectSettings("[Folder]\r\nSTART=C:\\M1\r\n[End_Folder]\r\n[Folder]\r\nSTART=C:\\M2\r\n", start);
}

TEST(SettingsFile, RunModeThroughIntegerConversion) {
  ExpectSettings("[Mode]\r\nSILENT= 1\r\n[End_Mode]\r\n", RunMode(1));
  ExpectSettings("[Mode]\r\nSILENT=$1\r\n[End_Mode]\r\n", RunMode(1));
  ExpectSettings("[Mode]\r\nSILENT=0x1\r\n[End_Mode]\r\n", RunMode(1));
}

TEST(SettingsFile, UnterminatedSectionRunsToTheEnd) {
  // The open Folder section takes in the [Options] line and everything after it.
  Settings expected;
  expected.program = "C:\\P";
  ExpectSettings("[Folder]\r\nPROGRAM=C:\\P\r\n[Options]\r\nDELETE=1", expected);
  ExpectSettings("[Options]\r\n\r\nDELETE=1\r\n", [] {
    Settings s;
    s.del = true;
    return s;
  }());
}

TEST(SettingsFile, LineEndsAndEndOfFileAsInEveryTextFile) {
  // LF alone ends a line in the settings file as CR does (in the rule file it does not).
  ExpectSettings("[Mode]\nSILENT=1\n[End_Mode]\n", RunMode(1));
  ExpectSettings("[Mode]\r\nSILENT=0\n\nSILENT=1\r[End_Mode]\n", RunMode(1));
  ExpectSettings("[Mode]\rSILENT=1\r[End_Mode]\r", RunMode(1));
  ExpectSettings("[Mode]\r\nSILENT=1\r\n\x1A\r\nSILENT=2\r\n", RunMode(1));
  ExpectSettings("\x1A[Mode]\r\nSILENT=1\r\n", Settings{});
}

TEST(SettingsFile, InvalidRunModeRaisesAndKeepsWhatWasReadBefore) {
  CleanerState state;
  MemoryByteSource source(
      "[Folder]\r\nPROGRAM=C:\\P\r\n[End_Folder]\r\n"
      "[Mode]\r\nSILENT=abc\r\n[End_Mode]\r\n"
      "[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  LineReader reader(source);
  try {
    ReadSettings(reader, state);
    ADD_FAILURE() << "SILENT=abc was accepted";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "SILENT=abc: 'abc' is not a valid integer value");
  }
  EXPECT_EQ(state.FolderProgram, "C:\\P");
  EXPECT_EQ(state.RunMode, 0);
  EXPECT_FALSE(state.OptDelete);
}

TEST(SettingsFile, TrailingBlankInRunModeIsNotAnInteger) {
  CleanerState state;
  MemoryByteSource source("[Mode]\r\nSILENT=1 \r\n[End_Mode]\r\n");
  LineReader reader(source);
  EXPECT_THROW(ReadSettings(reader, state), EConvertError);
  EXPECT_EQ(state.RunMode, 0);
}

TEST(SettingsFile, RunModesOtherThanZeroAndOneAreErrorsNamingTheKey) {
  const struct {
    const char* value;
    const char* message;
  } cases[] = {
      {"2", "SILENT=2: the value must be 0 or 1"},
      {"-1", "SILENT=-1: the value must be 0 or 1"},
      {"$10", "SILENT=$10: the value must be 0 or 1"},
      {"abc", "SILENT=abc: 'abc' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    CleanerState state;
    MemoryByteSource source(std::string("[Mode]\r\nSILENT=") + c.value + "\r\n[End_Mode]\r\n");
    LineReader reader(source);
    try {
      ReadSettings(reader, state);
      ADD_FAILURE() << c.value << " was accepted";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_EQ(state.RunMode, 0) << c.value;
  }
}

TEST(SettingsFile, EachLineNotReadAsWrittenIsAFindingWithItsLine) {
  const struct {
    const char* file;
    std::vector<std::pair<std::size_t, std::string>> findings;
  } cases[] = {
      {"[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\nKILLPROCESS=0\r\n[End_Options]\r\n\r\n", {}},
      {"[options]\r\nDELETE=1\r\n[End_Options]\r\n",
       {{1, "\"[options]\" is not \"[Options]\" (headers match only exactly, letter case and blanks included): the line is ignored"},
        {2, "\"DELETE=1\" is outside every section: the line is ignored"},
        {3, "\"[End_Options]\" ends no open section: the line is ignored"}}},
      {"[Options]\r\nDELETE = 1\r\n[End_Options]\r\n",
       {{2, "the key \"DELETE \" in \"[Options]\" has blanks around it: it is not \"DELETE\" and the line is ignored"}}},
      {"[Options]\r\nDELETE=yes\r\nNOTHING=1\r\nnot an entry\r\n[End_Options]\r\n",
       {{2, "\"DELETE=yes\": only \"1\" switches DELETE on; the value \"yes\" reads as off"},
        {3, "the key \"NOTHING\" is not a setting of \"[Options]\": the line is ignored"},
        {4, "\"not an entry\" in \"[Options]\" is not an entry KEY=value: the line is ignored"}}},
      {"\xEF\xBB\xBF[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n", {{1, "read as UTF-8 text: it starts with a byte-order mark"}}},
      {"[Mode]\nSILENT=1\n[End_Mode]\n", {}},
      {"[Mode]\r\nSILENT=2\r\nSILENT=1\r\n[End_Mode]\r\n",
       {{2, "SILENT=2: the value must be 0 or 1: the cleaner ends start-up here with exit code 2"}}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::size_t, std::string>> got;
    for (const SettingsFinding& finding : CheckSettingsText(c.file)) got.emplace_back(finding.line, finding.message);
    EXPECT_EQ(got, c.findings) << testing::PrintToString(c.file);
  }
}

TEST(SettingsFile, TheSettingsInEffectAreOneLineEachAndFilesAreToldFromRuleFiles) {
  CleanerState state = Read("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nKILLPROCESS=0\r\n[End_Options]\r\n");
  const std::vector<std::string> lines = SettingsInEffect(state);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "Setting in effect: SILENT=1");
  EXPECT_EQ(lines[7], "Setting in effect: KILLPROCESS=0");
  EXPECT_TRUE(LooksLikeSettings("\xEF\xBB\xBF[options]\r\n"));
  EXPECT_TRUE(LooksLikeSettings("x\r\n [Folder] \r\n"));
  EXPECT_FALSE(LooksLikeSettings("[Registry_Delete]\r\nHKLM\\X\r\n"));
}

// Each form an editor saves the file in: read right where it says what it is, otherwise read
// as stored; a file that names a backup and cannot be read ends start-up (exit code 2) rather
// than run without the backup.
TEST(SettingsFile, EncodingsAreReadWhereTheyCanBeWithoutGuessing) {
  const std::u16string lines = u"[Folder]\r\nBACKUP=C:\\Bk\u00E9\r\n[End_Folder]\n[Mode]\nSILENT=1\n[End_Mode]\n";
  const struct {
    std::string name;
    std::string stored;
    bool stops;                 // EConvertError before any setting takes effect
    std::string backup;         // FolderBackup when it goes on
  } cases[] = {
      {"ANSI with CR LF", "[Folder]\r\nBACKUP=C:\\Bk\xE9\r\n[End_Folder]\r\n", false, "C:\\Bk\xE9"},
      {"ANSI with LF alone", "[Folder]\nBACKUP=C:\\Bk\n[End_Folder]\n", false, "C:\\Bk"},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF[Folder]\r\nBACKUP=C:\\Bk\xC3\xA9\n[End_Folder]\n", false, "C:\\Bk\xE9"},
      {"UTF-16 LE", Utf16(lines, false), false, "C:\\Bk\xE9"},
      {"UTF-16 BE", Utf16(lines, true), false, "C:\\Bk\xE9"},
      {"UTF-16 without a byte-order mark", Utf16(lines, false).substr(2), true, ""},
      {"UTF-16 with an odd byte", Utf16(lines, false) + "x", true, ""},
      {"UTF-8 mark before other text", "\xEF\xBB\xBF[Folder]\r\nBACKUP=C:\\Bk\xE9\r\n[End_Folder]\r\n", true, ""},
      {"a letter the code page lacks", Utf16(u"[Folder]\r\nBACKUP=C:\\\u0416\r\n[End_Folder]\r\n", false), true, ""},
      {"unreadable, naming no backup", Utf16(u"[Options]\r\nDELETE=1\r\n[End_Options]\r\n", false).substr(2), false, ""},
  };
  for (const auto& c : cases) {
    CleanerState state;
    bool stopped = false;
    try {
      ReadStoredSettings(c.stored, Latin1, state);
    } catch (const EConvertError& error) {
      stopped = true;
      EXPECT_NE(std::string(error.what()).find("names BACKUP=: the cleaner ends start-up here with exit code 2"),
                std::string::npos) << c.name << ": " << error.what();
    }
    EXPECT_EQ(stopped, c.stops) << c.name;
    EXPECT_EQ(state.FolderBackup, c.backup) << c.name;
    if (!c.stops && c.backup.empty()) {
      EXPECT_FALSE(state.OptDelete) << c.name << ": read as stored, nothing matches";
    }
    if (!c.stops && !c.backup.empty() && c.stored.find("SILENT") != std::string::npos) {
      EXPECT_EQ(state.RunMode, 1) << c.name << ": every line after the first read too";
    }
  }
}

TEST(SettingsFile, AnUnreadableFileIsAFindingOfItsOwn) {
  const std::vector<SettingsFinding> findings =
      CheckSettingsText(Utf16(u"[Options]\r\nDELETE=1\r\n[End_Options]\r\n", false).substr(2));
  ASSERT_FALSE(findings.empty());
  EXPECT_EQ(findings[0].line, 1u);
  EXPECT_EQ(findings[0].message,
            "the file cannot be read without guessing (it holds NUL bytes: UTF-16 text without a byte-order mark "
            "cannot be told from other text; save it as ANSI, or as UTF-8 or UTF-16 with a byte-order mark): its "
            "bytes are read as they are stored");
  // The tool says what start-up would do with a file that names a backup.
  const std::vector<SettingsFinding> stopping =
      CheckSettingsText(Utf16(u"[Folder]\r\nBACKUP=C:\\B\r\n[End_Folder]\r\n", false).substr(2));
  ASSERT_EQ(stopping.size(), 1u);
  EXPECT_NE(stopping[0].message.find("the cleaner ends start-up here with exit code 2"), std::string::npos);
}

TEST(SettingsFile, TheBackupInEffectIsTheOneTheRunUses) {
  CleanerState state = Read("[Folder]\r\nBACKUP=C:\\FromFile\r\n[End_Folder]\r\n");
  EXPECT_EQ(SettingsInEffect(state)[4], "Setting in effect: BACKUP=C:\\FromFile");
  state.BackupFolder = "C:\\FromSwitch";  // /BACKUP= wins over the file
  EXPECT_EQ(SettingsInEffect(state)[4], "Setting in effect: BACKUP=C:\\FromSwitch");
  EXPECT_TRUE(NamesSaferSetting("x\r\n backup  =D:\\B\r\n"));
  EXPECT_FALSE(NamesSaferSetting("[Folder]\r\nBACKUPS\r\nPROGRAM=C:\\Backup\r\n"));
}
