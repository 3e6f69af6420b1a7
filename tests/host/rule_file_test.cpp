#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rules/rule_file.h"
#include "platform/errors.h"

namespace {

CleanerState FolderState() {
  CleanerState state;
  state.ProgramFolder = "C:\\Program Files\\Velmora Lab";
  state.SharedFolder = "C:\\Program Files\\Common Files\\ZDN Shared Files";
  state.WindowsFolder = "C:\\WINDOWS";
  state.SystemFolder = "C:\\WINDOWS\\system32";
  state.ProgramFilesFolder = "C:\\Program Files";
  return state;
}

std::vector<std::string> ReadAll(const std::string& bytes, const CleanerState& state) {
  MemoryByteSource source(bytes);
  LineReader reader(source);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(ReadRuleLine(reader, state));
  return lines;
}

int Count(const std::string& bytes) {
  MemoryByteSource source(bytes);
  LineReader reader(source);
  return CountRuleLines(reader);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

}  // namespace

TEST(Descrambling, ByValue) {
  const struct {
    int stored, text;
  } cases[] = {
      {146, 'P'}, {129, 'a'}, {118, 'l'}, {194, ' '}, {100, '~'}, {9, 9},    {0, 0},   {10, 10},
      {30, 30},   {31, 195},  {226, 0},   {227, 255}, {240, 242}, {255, 227}, {13, 13}, {26, 26},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescrambleByte(static_cast<unsigned char>(c.stored)), c.text) << c.stored;
  }
  EXPECT_EQ(DescrambleLine(Bytes({146, 129, 118, 118})), "Pall");
  EXPECT_EQ(DescrambleLine(Bytes({146, 9, 194, 129})), "P\t a");
  EXPECT_EQ(DescrambleLine(""), "");
}

TEST(Scrambling, EveryStorableByteReadsBackAndNeverLooksLikeALineEnd) {
  std::string text;
  for (int v = 0; v < 256; ++v) {
    if (v < 196 || v > 226) text.push_back(static_cast<char>(v));
  }
  ASSERT_EQ(FirstUnstorableColumn(text), 0u);
  const std::string stored = ScrambleLine(text);
  ASSERT_EQ(stored.size(), text.size());
  for (const char c : stored) EXPECT_GT(static_cast<unsigned char>(c), 30) << int(static_cast<unsigned char>(c));
  EXPECT_EQ(DescrambleLine(stored), text);
  EXPECT_EQ(ScrambleLine("Pall"), Bytes({146, 129, 118, 118}));
}

TEST(Scrambling, RefusesBytesThatCannotBeStoredNamingTheColumn) {
  EXPECT_EQ(FirstUnstorableColumn("ab\xC4" "c"), 3u);
  EXPECT_EQ(FirstUnstorableColumn("\xE2"), 1u);
  EXPECT_EQ(FirstUnstorableColumn("\xC3\xE3"), 0u);
  EXPECT_EQ(FirstUnstorableColumn("x\xE3\xC8\xC4"), 3u);
  try {
    ScrambleLine("HKLM\\\xC4");
    ADD_FAILURE() << "byte 196 was stored";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Byte 196 in column 6 cannot be stored in a rule line");
  }
}

TEST(Placeholders, FirstOccurrenceOfEachIsExpanded) {
  const CleanerState state = FolderState();
  const struct {
    std::string line, expanded;
  } cases[] = {
      {"%Program%\\qrv.exe", state.ProgramFolder + "\\qrv.exe"},
      {"%Shared%", state.SharedFolder},
      {"x%WinDir%\\a", "x" + state.WindowsFolder + "\\a"},
      {"%winsys%\\drivers\\qrv.sys", state.SystemFolder + "\\drivers\\qrv.sys"},
      {"%PF%\\ZDN", state.ProgramFilesFolder + "\\ZDN"},
      {"%program%\\x", "%program%\\x"},
      {"%WINDIR%", "%WINDIR%"},
      {"%Winsys%", "%Winsys%"},
      {"%PF%;%PF%", state.ProgramFilesFolder + ";%PF%"},
      {"%Program%|%Shared%|%WinDir%|%winsys%|%PF%",
       state.ProgramFolder + "|" + state.SharedFolder + "|" + state.WindowsFolder + "|" + state.SystemFolder +
           "|" + state.ProgramFilesFolder},
      {"%PF% before %Program%", state.ProgramFilesFolder + " before " + state.ProgramFolder},
      {"%Program", "%Program"},
      {"", ""},
      // Overlapping occurrences: the placeholder earlier in the table wins.
      {"%Program%Shared%", state.ProgramFolder + "Shared%"},
      {"%PF%Program%", "%PF" + state.ProgramFolder},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandPlaceholders(c.line, state), c.expanded) << c.line;
  }
}

// ProgramData and the 64-bit folders: added to the language, so every line the first five
// placeholders could form, environment variables' names written as text among them, reads
// as it did; the state's new folders, set or not, change nothing on such lines.
TEST(Placeholders, TheDataAnd64BitFoldersExpandAndOldLinesReadAsBefore) {
  CleanerState before = FolderState();
  CleanerState state = FolderState();
  state.ProgramDataFolder = "C:\\ProgramData";
  state.ProgramFiles64Folder = "C:\\Program Files";
  state.CommonFiles64Folder = "C:\\Program Files\\Common Files";
  state.ProgramFilesFolder = before.ProgramFilesFolder = "C:\\Program Files (x86)";
  const struct {
    std::string line, expanded;
  } added[] = {
      {"%ProgData%\\Velmora Lab\\Bases", "C:\\ProgramData\\Velmora Lab\\Bases"},
      {"%PF64%\\Velmora Lab", "C:\\Program Files\\Velmora Lab"},
      {"%CF64%\\Velmora Lab\\zdn64.dll", "C:\\Program Files\\Common Files\\Velmora Lab\\zdn64.dll"},
      {"%PF%|%PF64%|%CF64%|%ProgData%",
       "C:\\Program Files (x86)|C:\\Program Files|C:\\Program Files\\Common Files|C:\\ProgramData"},
      {"%PF64%;%PF64%", "C:\\Program Files;%PF64%"},
      {"%pf64%\\x", "%pf64%\\x"},
  };
  for (const auto& c : added) EXPECT_EQ(ExpandPlaceholders(c.line, state), c.expanded) << c.line;
  const char* const old[] = {
      "%PF%64%\\a", "%PF%\\%ProgramData%\\a", "HKEY_CURRENT_USER\\Software\\MuiCache=@%ProgramFiles%\\a.exe,-1",
      "%ProgramW6432%\\x", "%CommonProgramW6432%", "%APPDATA%\\x", "%Program%Data%", "%Shared%PF64%",
      "%winsys%CF64%", "C:\\plain", "%Program%\\qrv.exe", "%WinDir%%PF%"};
  for (const char* line : old) {
    EXPECT_EQ(ExpandPlaceholders(line, state), ExpandPlaceholders(line, before)) << line;
  }
  // Where Windows has no 64-bit folder the line names nothing, and the run refuses it by name.
  CleanerState on32 = FolderState();
  std::string unset;
  EXPECT_EQ(ExpandPlaceholders("%PF64%\\Velmora Lab", on32, &unset), "\\Velmora Lab");
  EXPECT_EQ(unset, "%PF64%");
}

// The per-user folders: added to the language as the others were, so that lines without them,
// environment variables' names for the same folders written as text among them, read exactly
// as they did whether or not the state knows any profile.
TEST(Placeholders, PerUserFoldersLeaveEveryOldLineAsItWas) {
  const CleanerState before = FolderState();
  CleanerState state = FolderState();
  state.ProgramDataFolder = "C:\\ProgramData";
  state.UserFolders = {{"C:\\Users\\ann\\AppData\\Roaming", "C:\\Users\\ann\\AppData\\Local", ""},
                       {"C:\\Users\\bob\\AppData\\Roaming", "C:\\Users\\bob\\AppData\\Local", "S-1-5-21-1-2-3-1001"}};
  const char* const old[] = {"%APPDATA%\\Velmora Lab", "%LOCALAPPDATA%\\Velmora Lab", "%USERPROFILE%\\AppData",
                             "%PF%UserRoaming%", "%Program%UserLocal%", "%userroaming%\\x", "%UserRoaming",
                             "HKEY_CURRENT_USER\\Software\\MuiCache=@%APPDATA%\\a.exe,-1", "%WinDir%\\x", "C:\\plain"};
  for (const char* line : old) {
    EXPECT_EQ(ExpandPlaceholders(line, state), ExpandPlaceholders(line, before)) << line;
    EXPECT_FALSE(UsesPerUserPlaceholder(line)) << line;
    const std::vector<RuleTarget> targets = ExpandRuleTargets(line, state);
    ASSERT_EQ(targets.size(), 1u) << line;
    EXPECT_EQ(targets[0].text, ExpandPlaceholders(line, before)) << line;
  }
}

// A line naming a per-user folder is one target per profile, the current user's first; the
// other placeholders of the line expand in each.
TEST(RuleTargets, OneTargetPerProfileTheRunCovers) {
  using Targets = std::vector<std::pair<std::string, std::string>>;  // text, unset
  const UserDataFolders ann{"C:\\Users\\ann\\AppData\\Roaming", "C:\\Users\\ann\\AppData\\Local", ""};
  const UserDataFolders bob{"C:\\Users\\bob\\AppData\\Roaming", "C:\\Users\\bob\\AppData\\Local", "S-1-5-21-1"};
  const UserDataFolders bobAgain{"c:\\users\\BOB\\appdata\\roaming", "", "S-1-5-21-2"};
  const UserDataFolders noLocal{"D:\\Profiles\\cy\\Roaming", "", "S-1-5-21-3"};
  const struct {
    const char* line;
    std::vector<UserDataFolders> profiles;
    Targets targets;
  } cases[] = {
      {"%UserRoaming%\\Velmora Lab", {ann}, {{"C:\\Users\\ann\\AppData\\Roaming\\Velmora Lab", ""}}},
      {"%UserRoaming%\\Velmora Lab",
       {ann, bob},
       {{"C:\\Users\\ann\\AppData\\Roaming\\Velmora Lab", ""}, {"C:\\Users\\bob\\AppData\\Roaming\\Velmora Lab", ""}}},
      {"%UserLocal%\\Velmora Lab\\cache.db",
       {ann, bob},
       {{"C:\\Users\\ann\\AppData\\Local\\Velmora Lab\\cache.db", ""},
        {"C:\\Users\\bob\\AppData\\Local\\Velmora Lab\\cache.db", ""}}},
      // Two profile keys naming one folder: it is one target.
      {"%UserRoaming%\\V", {ann, bob, bobAgain}, {{"C:\\Users\\ann\\AppData\\Roaming\\V", ""}, {"C:\\Users\\bob\\AppData\\Roaming\\V", ""}}},
      // Another profile without the folder holds nothing of it; the current user's unknown
      // folder is named, for the run to refuse the line.
      {"%UserLocal%\\V", {ann, noLocal}, {{"C:\\Users\\ann\\AppData\\Local\\V", ""}}},
      {"%UserLocal%\\V", {noLocal, ann}, {{"\\V", "%UserLocal%"}, {"C:\\Users\\ann\\AppData\\Local\\V", ""}}},
      {"%UserRoaming%\\V", {}, {{"\\V", "%UserRoaming%"}}},
      // Other placeholders beside it expand in every target; the first unset is named.
      {"%UserRoaming%\\V|%PF%",
       {ann, noLocal},
       {{"C:\\Users\\ann\\AppData\\Roaming\\V|C:\\Program Files", ""}, {"D:\\Profiles\\cy\\Roaming\\V|C:\\Program Files", ""}}},
      {"HKEY_CURRENT_USER\\Software\\V=%UserLocal%\\v.exe",
       {ann},
       {{"HKEY_CURRENT_USER\\Software\\V=C:\\Users\\ann\\AppData\\Local\\v.exe", ""}}},
      {"%UserRoaming%%UserLocal%", {ann}, {{"C:\\Users\\ann\\AppData\\RoamingC:\\Users\\ann\\AppData\\Local", ""}}},
  };
  for (const auto& c : cases) {
    CleanerState state = FolderState();
    state.UserFolders = c.profiles;
    EXPECT_TRUE(UsesPerUserPlaceholder(c.line)) << c.line;
    Targets got;
    for (const RuleTarget& target : ExpandRuleTargets(c.line, state)) got.emplace_back(target.text, target.unset);
    EXPECT_EQ(got, c.targets) << c.line << " with " << c.profiles.size() << " profiles";
  }
}

TEST(RuleTargets, ReadFromTheFileLineByLine) {
  CleanerState state = FolderState();
  state.UserFolders = {{"C:\\U\\a\\R", "C:\\U\\a\\L", ""}, {"C:\\U\\b\\R", "C:\\U\\b\\L", "S-1-5-21-9"}};
  const std::string file = ScrambleLine("[Delete_Folder]") + "\r\n" + ScrambleLine("%UserLocal%\\Velmora") + "\r\n" +
                           ScrambleLine("%Program%") + "\r\n";
  MemoryByteSource source(file);
  LineReader reader(source);
  const auto texts = [](const std::vector<RuleTarget>& targets) {
    std::vector<std::string> out;
    for (const RuleTarget& target : targets) out.push_back(target.text);
    return out;
  };
  EXPECT_EQ(texts(ReadRuleTargets(reader, state)), std::vector<std::string>{"[Delete_Folder]"});
  EXPECT_EQ(texts(ReadRuleTargets(reader, state)), (std::vector<std::string>{"C:\\U\\a\\L\\Velmora", "C:\\U\\b\\L\\Velmora"}));
  EXPECT_EQ(texts(ReadRuleTargets(reader, state)), std::vector<std::string>{state.ProgramFolder});
  EXPECT_TRUE(reader.AtEnd());
}

TEST(Placeholders, FolderTextsAreNeverExpandedAgain) {
  CleanerState state = FolderState();
  state.ProgramFolder = "D:\\%Shared%\\%PF%";
  state.SharedFolder = "S:\\%Program%";
  EXPECT_EQ(ExpandPlaceholders("%Program%", state), "D:\\%Shared%\\%PF%");
  EXPECT_EQ(ExpandPlaceholders("%Program% %Shared%", state), "D:\\%Shared%\\%PF% S:\\%Program%");
  EXPECT_EQ(ExpandPlaceholders("%Shared%+%Program%", state), "S:\\%Program%+D:\\%Shared%\\%PF%");
}

TEST(Placeholders, AnEmptyFolderLeavesTheRestOfTheLineAndIsNamed) {
  CleanerState state = FolderState();
  state.ProgramFolder.clear();
  state.ProgramFilesFolder.clear();
  const struct {
    const char* line;
    const char* unset;
  } cases[] = {{"%Program%\\Velmora", "%Program%"}, {"%Shared%\\x %PF%", "%PF%"},
               {"%PF% %Program%", "%Program%"},  // the first in the table's order
               {"%Shared%", ""}, {"C:\\plain", ""}};
  std::string unset = "stale";
  for (const auto& c : cases) {
    ExpandPlaceholders(c.line, state, &unset);
    EXPECT_EQ(unset, c.unset) << c.line;
  }
  EXPECT_EQ(ExpandPlaceholders("%Program%\\Velmora", state), "\\Velmora");
}

TEST(ReadRuleLine, DescramblesThenExpandsWithTheFoldersOfTheMoment) {
  CleanerState state = FolderState();
  const std::string file = ScrambleLine("[Delete_Folder]") + "\r\n" + ScrambleLine("%Program%\\Bin") + "\r\n" +
                           ScrambleLine("%Program%\\Log") + "\r\n";
  MemoryByteSource source(file);
  LineReader reader(source);
  EXPECT_EQ(ReadRuleLine(reader, state), "[Delete_Folder]");
  EXPECT_EQ(ReadRuleLine(reader, state), state.ProgramFolder + "\\Bin");
  state.ProgramFolder = "E:\\Edited";
  EXPECT_EQ(ReadRuleLine(reader, state), "E:\\Edited\\Log");
  EXPECT_TRUE(reader.AtEnd());
}

TEST(ReadRuleLine, PlaceholderTextIsFoundOnlyAfterDescrambling) {
  // "%PF%" written unscrambled into the file reads as other bytes, not as the placeholder.
  const CleanerState state = FolderState();
  EXPECT_EQ(ReadAll(ScrambleLine("%PF%"), state), std::vector<std::string>{state.ProgramFilesFolder});
  EXPECT_EQ(ReadAll("%PF%", state), std::vector<std::string>{Bytes({189, 146, 156, 189})});
}

TEST(RuleFileLines, LineEndsCtrlZAndCounting) {
  const CleanerState state = FolderState();
  const std::string a = ScrambleLine("a"), b = ScrambleLine("b");
  const struct {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {a + "\r\n" + b, {"a", "b"}},
      {a + "\r\n" + b + "\r\n", {"a", "b"}},
      {a + "\n" + b + "\n", {"a\nb\n"}},
      {a + "\r\n\r\n" + b, {"a", "", "b"}},
      {a + "\r\n\x1A" + b + "\r\n", {"a"}},
      {a + "\x1A" + b, {"a"}},
      {"\x1A" + a, {}},
      {"", {}},
      {"\r\n", {""}},
      {a + "\r" + b, {"a", "b"}},
      {Bytes({146, 129, 118, 118, 9, 226, 240}), {Bytes({'P', 'a', 'l', 'l', 9, 0, 242})}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadAll(c.bytes, state), c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(Count(c.bytes), static_cast<int>(c.lines.size())) << testing::PrintToString(c.bytes);
  }
}

TEST(RuleFileLines, CountsVeryLongLines) {
  const std::string line(300000, static_cast<char>(146));
  std::string file;
  for (int i = 0; i < 5; ++i) file += line + "\r\n";
  EXPECT_EQ(Count(file), 5);
  EXPECT_EQ(Count(file + line), 6);
}
