#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/errors.h"
#include "platform/text/text_rules.h"

TEST(UpperAscii, ChangesOnlyLatinLowerCaseLetters) {
  // Windows-1251: E0 E1 are lower-case Cyrillic, C0 C1 their upper case.
  const std::string mixed = "Zdn \xE0\xE1 Monitor \xC0 `az{ \xFF";
  EXPECT_EQ(UpperAscii(mixed), "ZDN \xE0\xE1 MONITOR \xC0 `AZ{ \xFF");
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(UpperAscii(withNul), std::string("A\0B", 3));
  EXPECT_EQ(UpperAscii(""), "");
}

TEST(EqualsIgnoringAsciiCase, LatinCaseOnly) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("/tl", "/TL"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase("AmPm", "ampm"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE0", "\xC0"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("/tl", "/tl "));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{"));
}

TEST(PositionOf, OneBasedFirstOccurrenceAndZeroForEmpty) {
  const struct {
    std::string part, text;
    int position;
  } cases[] = {
      {"=", "a=b=c", 2}, {"", "anything", 0}, {"a", "", 0},     {"", "", 0},
      {"bc", "abc", 2},  {"c", "abc", 3},     {"abcd", "abc", 0}, {"x", "abc", 0},
      {"=", std::string("a\0=", 3), 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PositionOf(c.part, c.text), c.position) << c.part << " in " << c.text;
  }
}

TEST(ParseInteger, AcceptsDecimalAndTheFourHexadecimalForms) {
  const struct {
    std::string text;
    std::int32_t value;
  } cases[] = {
      {" 12", 12},
      {"   -7", -7},
      {"+5", 5},
      {"-0", 0},
      {"0", 0},
      {"0012", 12},
      {"00000000000000000000000012", 12},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"  $aBc", 0xABC},
      {"$0", 0},
      {"$FFFFFFFF", -1},
      {"$80000000", INT_MIN},
      {"$7FFFFFFF", INT_MAX},
      {"0x00000001", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger(c.text), c.value) << "'" << c.text << "'";
  }
}

TEST(ParseInteger, RejectsEverythingElseWithTheWholeTextInTheMessage) {
  const std::string cases[] = {
      "12 ",        "",           " ",         "-",          "+",          "2147483648",
      "-2147483649", "99999999999999999999", "$", "0x",     "x",          "$123456789",
      "0x000000001", "-$1F",       "+0x1",      "1F",         "12a",        "1 2",
      "\t12",       "$FG",        "x-1",       "- 1",        "0x-1",       "$ 1",
      "1e3",        "0b1",        "--1",       "+-1", "\xB3",
  };
  for (const auto& text : cases) {
    try {
      ParseInteger(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), "'" + text + "' is not a valid integer value");
    }
  }
  EXPECT_THROW(ParseInteger(std::string("1\0", 2)), EConvertError);
}

TEST(IntToText, DecimalWithMinusAndNoPadding) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(42), "42");
  EXPECT_EQ(IntToText(-1), "-1");
  EXPECT_EQ(IntToText(INT_MIN), "-2147483648");
  EXPECT_EQ(IntToText(1000000), "1000000");
}

TEST(FolderOfPath, KeepsRootAndDoubledSeparators) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"C:\\A\\B.TXT", "C:\\A"},
      {"C:\\A\\", "C:\\A"},
      {"C:\\B.TXT", "C:\\"},
      {"C:B.TXT", "C:"},
      {"\\B.TXT", "\\"},
      {"\\\\SRV\\SHARE\\F.TXT", "\\\\SRV\\SHARE"},
      {"A\\\\B", "A\\\\"},
      {"B.TXT", ""},
      {"", ""},
      {"C:\\Program Files\\Velmora Lab\\Cleaner.exe", "C:\\Program Files\\Velmora Lab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOfPath(c.path), c.folder) << c.path;
  }
}

TEST(FileNameOfPath, EverythingAfterTheLastSeparator) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\A\\B.TXT", "B.TXT"}, {"C:B.TXT", "B.TXT"}, {"C:\\A\\", ""}, {"B.TXT", "B.TXT"},
      {"\\\\SRV\\SHARE\\F.TXT", "F.TXT"}, {"C:", ""}, {"", ""},
      {"C:\\ZDN \xCC\xEE\xED\xE8\xF2\xEE\xF0.lnk", "ZDN \xCC\xEE\xED\xE8\xF2\xEE\xF0.lnk"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameOfPath(c.path), c.name) << c.path;
  }
}
