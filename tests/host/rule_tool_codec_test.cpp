#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/rules/rule_file.h"
#include "platform/files/line_reader.h"
#include "tools/rule_tool.h"
#include "tools/rules/rule_decode.h"
#include "tools/rules/rule_encode.h"

namespace fs = std::filesystem;

namespace {

std::string Decoded(const std::string& stored, bool numbered) {
  MemoryByteSource source(stored);
  LineReader rules(source);
  std::ostringstream out;
  DecodeRules(rules, numbered, out);
  return out.str();
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

// The text an author writes: every storable byte shows up somewhere, with placeholders,
// blanks, tabs, an empty line and Windows-1251 letters outside 196 to 226.
std::string AuthorText(const std::string& lineEnd) {
  std::string allStorable;
  for (int v = 0; v < 256; ++v) {
    if ((v < 196 || v > 226) && v != '\r' && v != '\n') allStorable.push_back(static_cast<char>(v));
  }
  const std::vector<std::string> lines = {
      "Velmora rule file, version 3",
      "[Registry_Delete]",
      "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab",
      "[Registry_Delete_End]",
      "",
      "[Delete_Folder]",
      "%Program%\\Data\tfiles ",
      "  %Shared%\\\xE3\xEE\xF1\xF2\xFC",  // "гость" in Windows-1251
      "[Delete_Folder_End]",
      allStorable,
  };
  std::string text;
  for (const auto& line : lines) text += line + lineEnd;
  return text;
}

class RuleToolFiles : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("rule_tool_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::random_device{}()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int Run(const std::vector<std::string>& arguments) {
    out_.str({});
    err_.str({});
    return RunRuleTool(arguments, out_, err_);
  }

  fs::path folder_;
  std::ostringstream out_;
  std::ostringstream err_;
};

}  // namespace

TEST(TextLines, EndAtLfCrLfOrCr) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"\n\n", {"", ""}},
      {"\r\n", {""}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"x\x1Ay\n", {"x\x1Ay"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitTextLines(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST(Encoding, EveryLineScrambledAndEndedWithCrLf) {
  const EncodedRules encoded = EncodeRuleText("Pall\n\nP\tall");
  ASSERT_TRUE(encoded.refused.empty());
  EXPECT_EQ(encoded.stored, Bytes({146, 129, 118, 118, 13, 10, 13, 10, 146, 217, 129, 118, 118, 13, 10}));
  EXPECT_EQ(EncodeRuleText("").stored, "");
}

TEST(Encoding, ThenDecodingGivesBackTheTextWhateverItsLineEnds) {
  const std::string expected = AuthorText("\n");
  for (const std::string lineEnd : {"\n", "\r\n", "\r"}) {
    const EncodedRules encoded = EncodeRuleText(AuthorText(lineEnd));
    ASSERT_TRUE(encoded.refused.empty()) << DescribeUnstorableByte(encoded.refused.front());
    // Only the line ends are stored below 31, so the cleaner reads exactly these lines.
    MemoryByteSource source(encoded.stored);
    LineReader reader(source);
    EXPECT_EQ(CountRuleLines(reader), 10);
    EXPECT_EQ(Decoded(encoded.stored, false), expected);
  }
}

TEST(Encoding, RefusesUnstorableBytesWithLineAndColumnAndStoresNothing) {
  const EncodedRules encoded = EncodeRuleText("fine\nab\xC4" "d\xE2\n\xE2\nok \xC3 \xE3\n\r");
  ASSERT_EQ(encoded.refused.size(), 2u);
  EXPECT_EQ(DescribeUnstorableByte(encoded.refused[0]), "line 2, column 3: byte 196 cannot be stored in a rule file");
  EXPECT_EQ(DescribeUnstorableByte(encoded.refused[1]), "line 3, column 1: byte 226 cannot be stored in a rule file");
  EXPECT_EQ(encoded.stored, "");
  EXPECT_FALSE(encoded.looksLikeUtf8);
}

TEST(Encoding, NamesUtf8AsTheLikelyCauseOfRefusedBytes) {
  // "ZDN Монитор" saved as UTF-8: its lead bytes 208 and 209 cannot be stored.
  const EncodedRules utf8 = EncodeRuleText("ZDN \xD0\x9C\xD0\xBE\xD0\xBD\xD0\xB8\xD1\x82\xD0\xBE\xD1\x80.lnk\n");
  ASSERT_EQ(utf8.refused.size(), 1u);
  EXPECT_EQ(utf8.refused[0].column, 5u);
  EXPECT_TRUE(utf8.looksLikeUtf8);
  // The same name in Windows-1251: its capital M (204) cannot be stored either, but that is
  // no encoding mistake.
  const EncodedRules ansi = EncodeRuleText("ZDN \xCC\xEE\xED\xE8\xF2\xEE\xF0.lnk\n");
  ASSERT_EQ(ansi.refused.size(), 1u);
  EXPECT_FALSE(ansi.looksLikeUtf8);
}

TEST(Decoding, NumbersLinesOnRequestAndLeavesPlaceholdersAsWritten) {
  const std::string stored = ScrambleLine("[Delete_Folder]") + "\r\n" + ScrambleLine("%Program%\\Data") + "\r" +
                             ScrambleLine("%program%") + "\r\n\r\n" + ScrambleLine("last");
  EXPECT_EQ(Decoded(stored, false), "[Delete_Folder]\n%Program%\\Data\n%program%\n\nlast\n");
  EXPECT_EQ(Decoded(stored, true), "1: [Delete_Folder]\n2: %Program%\\Data\n3: %program%\n4: \n5: last\n");
}

TEST(Decoding, ReadsAsTheCleanerDoes) {
  // LF-only line ends make one line; a Ctrl-Z ends the file.
  const std::string lfOnly = ScrambleLine("a") + "\n" + ScrambleLine("b") + "\n";
  EXPECT_EQ(Decoded(lfOnly, true), "1: a\nb\n\n");
  const std::string cut = ScrambleLine("a") + "\r\n\x1A" + ScrambleLine("never") + "\r\n";
  EXPECT_EQ(Decoded(cut, true), "1: a\n");
  EXPECT_EQ(Decoded("", true), "");
}

TEST_F(RuleToolFiles, EncodeWritesTheFileDecodeReadsItBack) {
  const std::string text = AuthorText("\r\n");
  Write("rules.txt", text);
  // The text holds much that check reports (a section that never ends, odd entries): the
  // file is written all the same.
  ASSERT_EQ(Run({"encode", PathOf("rules.txt"), "-o", PathOf("Do_list.dat")}), kToolFindings) << err_.str();
  EXPECT_EQ(Read("Do_list.dat"), EncodeRuleText(text).stored);
  EXPECT_FALSE(fs::exists(PathOf("Do_list.dat.new")));

  ASSERT_EQ(Run({"decode", PathOf("Do_list.dat")}), kToolDone);
  EXPECT_EQ(out_.str(), AuthorText("\n"));
  ASSERT_EQ(Run({"decode", "-n", PathOf("Do_list.dat")}), kToolDone);
  EXPECT_TRUE(out_.str().starts_with("1: Velmora rule file, version 3\n2: [Registry_Delete]\n")) << out_.str();
}

TEST_F(RuleToolFiles, EncodeReplacesAnOldFileButKeepsItWhenTheTextIsRefused) {
  Write("Do_list.dat", "old contents");
  Write("good.txt", "[Delete_File]\n[Delete_File_End]\n");
  const std::string good = ScrambleLine("[Delete_File]") + "\r\n" + ScrambleLine("[Delete_File_End]") + "\r\n";
  ASSERT_EQ(Run({"encode", PathOf("good.txt"), "-o", PathOf("Do_list.dat")}), kToolDone) << out_.str();
  EXPECT_EQ(Read("Do_list.dat"), good);

  Write("bad.txt", "[Delete_File]\n%Program%\\\xC4\xE0.dll\n");
  EXPECT_EQ(Run({"encode", PathOf("bad.txt"), "-o", PathOf("Do_list.dat")}), kToolFindings);
  EXPECT_NE(err_.str().find("line 2, column 11: byte 196 cannot be stored in a rule file"), std::string::npos)
      << err_.str();
  EXPECT_NE(err_.str().find("nothing written"), std::string::npos);
  EXPECT_EQ(Read("Do_list.dat"), good);

  EXPECT_EQ(Run({"encode", PathOf("bad.txt"), "-o", PathOf("fresh.dat")}), kToolFindings);
  EXPECT_FALSE(fs::exists(PathOf("fresh.dat")));
  EXPECT_FALSE(fs::exists(PathOf("fresh.dat.new")));
}

TEST_F(RuleToolFiles, UnreadableOrUnwritableFilesAndBadCommandLinesGiveTwo) {
  Write("good.txt", "x\n");
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"decode", PathOf("missing.dat")}, "cannot read " + PathOf("missing.dat") + ": File not found"},
      {{"decode", folder_.string()}, "File access denied"},
      {{"encode", PathOf("missing.txt"), "-o", PathOf("x.dat")}, "cannot read"},
      {{"encode", PathOf("good.txt"), "-o", PathOf("no_folder/x.dat")}, "cannot write"},
      {{"encode", PathOf("good.txt"), "-o", folder_.string()}, "cannot write"},
      {{"encode", PathOf("good.txt")}, "needs a text file and -o FILE"},
      {{"decode"}, "decode needs a file"},
      {{"decode", "a", "b"}, "decode takes one file"},
      {{"check"}, "check takes one file"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{}, "no command"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.arguments), kToolFailed) << testing::PrintToString(c.arguments);
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
  }
  EXPECT_TRUE(fs::is_directory(folder_));
}

#ifndef _WIN32
TEST(PlanCommand, SaysItNeedsTheWindowsBuild) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunRuleTool({"plan", "--json"}, out, err), kToolFailed);
  EXPECT_EQ(err.str(), "plan is available in the Windows build only (RuleTool.exe)\n");
  EXPECT_EQ(out.str(), "");
}
#endif

TEST_F(RuleToolFiles, EncodeChecksWhatItWritesAndStrictWritesNothingWithFindings) {
  Write("Do_list.dat", "old contents");
  Write("clean.txt", "[Delete_File]\n%Program%\\a.dll\n[Delete_File_End]\n");
  Write("odd.txt", "[Delete_File]\n%program%\\a.dll\n[Delete_File_End]\n[delete_file_end]\n");
  const std::string oddFindings = PathOf("odd.txt") + ": line 2: \"%program%\" is not a placeholder";
  const struct {
    std::vector<std::string> arguments;
    int code;
    std::string firstLine;  // of the standard output
    bool written;
  } cases[] = {
      {{"encode", PathOf("odd.txt"), "--strict", "-o", PathOf("Do_list.dat")}, kToolFindings, oddFindings, false},
      {{"encode", PathOf("odd.txt"), "-o", PathOf("Do_list.dat")}, kToolFindings, oddFindings, true},
      {{"encode", PathOf("clean.txt"), "-o", PathOf("Do_list.dat"), "--strict"}, kToolDone,
       PathOf("Do_list.dat") + ": 3 lines written", true},
  };
  for (const auto& c : cases) {
    Write("Do_list.dat", "old contents");
    EXPECT_EQ(Run(c.arguments), c.code) << testing::PrintToString(c.arguments) << err_.str();
    EXPECT_TRUE(out_.str().starts_with(c.firstLine)) << out_.str();
    EXPECT_EQ(Read("Do_list.dat") != "old contents", c.written) << testing::PrintToString(c.arguments);
  }
  // The findings are those check gives for the file written.
  ASSERT_EQ(Run({"encode", PathOf("odd.txt"), "-o", PathOf("Do_list.dat")}), kToolFindings);
  const std::string encodeOut = out_.str();
  ASSERT_EQ(Run({"check", PathOf("Do_list.dat")}), kToolFindings);
  std::string prefixed;
  std::istringstream checked(out_.str());
  for (std::string line; std::getline(checked, line);) prefixed += PathOf("odd.txt") + ": " + line + "\n";
  EXPECT_EQ(encodeOut, prefixed + PathOf("Do_list.dat") + ": 4 lines written\n");
  EXPECT_EQ(std::count(prefixed.begin(), prefixed.end(), '\n'), 2) << prefixed;
}

TEST_F(RuleToolFiles, EveryCommandExplainsItselfAndTheToolTellsItsVersion) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"decode", "--help"}, {"encode", "-h"}, {"check", "--help"},
                                             {"plan", "--json", "--help"}, {"encode", "x.txt", "--help"}}) {
    EXPECT_EQ(Run(arguments), kToolDone) << testing::PrintToString(arguments) << err_.str();
    EXPECT_TRUE(out_.str().starts_with("usage: RuleTool " + arguments[0] + " ")) << out_.str();
    EXPECT_EQ(err_.str(), "");
  }
  EXPECT_EQ(Run({"frobnicate", "--help"}), kToolFailed);
  EXPECT_NE(err_.str().find("unknown command \"frobnicate\""), std::string::npos);

  ASSERT_EQ(Run({"--version"}), kToolDone);
  EXPECT_EQ(out_.str(), std::string(CLEANER_VERSION_TEXT) + "\n");
  // The build's own version: four numbers, then the commit unless built from a tag.
  unsigned numbers[4] = {};
  char rest[64] = {};
  ASSERT_GE(std::sscanf(out_.str().c_str(), "%u.%u.%u.%u%63[^\n]", &numbers[0], &numbers[1], &numbers[2], &numbers[3],
                        rest),
            4)
      << out_.str();
  EXPECT_EQ(numbers[3], 0u);
  const std::string commit = rest;
  EXPECT_TRUE(commit.empty() || commit == " (no git)" ||
              (commit.size() >= 10 && commit.starts_with(" (") && commit.ends_with(")")))
      << out_.str();
}
