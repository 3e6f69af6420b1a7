#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/text_rules.h"

using Items = std::vector<std::string>;

TEST(SplitCommandLine, BlanksQuotedRunsAndLeadingQuotePairs) {
  const struct {
    std::string line;
    Items items;
  } cases[] = {
      {"Cleaner.exe  /tl \"a b\"", {"Cleaner.exe", "/tl", "a b"}},
      {"", {}},
      {"   \t ", {}},
      {"prog", {"prog"}},
      {"\"C:\\Program Files\\Cleaner.exe\" /TL", {"C:\\Program Files\\Cleaner.exe", "/TL"}},
      {"prog a\"\"b", {"prog", "ab"}},
      {"prog \"\" x", {"prog", "x"}},
      {"prog \"\"\"\"x", {"prog", "x"}},
      {"prog \"\"\"x\"", {"prog", "x"}},
      {"prog \"\" \"\"   \"\"x", {"prog", "x"}},
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"prog \"a\"b\"c d\"", {"prog", "abc d"}},
      {"prog \"unterminated run", {"prog", "unterminated run"}},
      {"prog \t/tl\x01x\x1F" "y", {"prog", "/tl", "x", "y"}},
      {"prog a \"", {"prog", "a", ""}},
      {"prog \"\t\"", {"prog", "\t"}},
      {"prog \xCF\xF0\xE8\xE2\xE5\xF2", {"prog", "\xCF\xF0\xE8\xE2\xE5\xF2"}},
      {std::string("prog a\0b", 8), {"prog", "a"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.items) << testing::PrintToString(c.line);
  }
}

TEST(CommandLineArguments, SkipsTheProgramAndStopsAtTheFirstEmptyItem) {
  EXPECT_EQ(CommandLineArguments("Cleaner.exe  /tl \"a b\""), (Items{"/tl", "a b"}));
  EXPECT_EQ(CommandLineArguments("Cleaner.exe"), Items{});
  EXPECT_EQ(CommandLineArguments(""), Items{});
  // A lone quote at the end is an empty item: nothing from there on is an argument.
  EXPECT_EQ(CommandLineArguments("prog a \""), Items{"a"});
  EXPECT_EQ(CommandLineArguments("\"\" prog /TL"), Items{"/TL"});
}

TEST(SplitCommandLine, LongItemsAreCutAndTheirRestIsPassedOver) {
  const std::string exact(kMaxArgumentLength, 'e');
  EXPECT_EQ(SplitCommandLine("prog " + exact + " z"), (Items{"prog", exact, "z"}));

  const std::string longPlain(kMaxArgumentLength + 904, 'x');
  EXPECT_EQ(SplitCommandLine("prog " + longPlain + " next"),
            (Items{"prog", std::string(kMaxArgumentLength, 'x'), "next"}));

  // The rest of a cut item holds blanks inside a quoted run: they must not split it.
  std::string quoted = std::string(kMaxArgumentLength - 2, 'q') + "\"a b /TL c\"tail";
  const Items cut = SplitCommandLine("prog " + quoted + " /TL");
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_EQ(cut[1], std::string(kMaxArgumentLength - 2, 'q') + "a ");
  EXPECT_EQ(cut[2], "/TL");
}
