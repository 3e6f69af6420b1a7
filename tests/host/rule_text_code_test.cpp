#include <gtest/gtest.h>

#include <string>

#include "engine/rules/rule_file.h"
#include "engine/rules/rule_text_code.h"
#include "platform/files/line_reader.h"

// Windows-1251 as UTF-8, byte by byte where the code page's layout changes.
TEST(RuleTextCode, Windows1251BytesBecomeTheirCharactersInUtf8) {
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"C:\\Program Files\\ZDN", "C:\\Program Files\\ZDN"},
      {"\xCC\xEE\xED\xE8\xF2\xEE\xF0", "\xD0\x9C\xD0\xBE\xD0\xBD\xD0\xB8\xD1\x82\xD0\xBE\xD1\x80"},  // Монитор
      {"\xC0\xDF\xE0\xFF", "\xD0\x90\xD0\xAF\xD0\xB0\xD1\x8F"},                                      // АЯая
      {"\xA8\xB8", "\xD0\x81\xD1\x91"},                                                              // Ёё
      {"\x80\x88\xB9", "\xD0\x82\xE2\x82\xAC\xE2\x84\x96"},                                          // Ђ€№
      {"\x98", "\xC2\x98"},                                                                          // undefined
      {"\xA0\xAD", "\xC2\xA0\xC2\xAD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8FromWindows1251(c.bytes), c.utf8) << c.bytes;
  EXPECT_TRUE(RuleTextNeedsRecoding(65001));
  EXPECT_FALSE(RuleTextNeedsRecoding(1251));
  EXPECT_FALSE(RuleTextNeedsRecoding(1252));
}

// Under the UTF-8 code page the line is recoded before the folders go in: they are UTF-8
// already and must not be recoded a second time.
TEST(RuleTextCode, RecodedLinesKeepTheirFoldersAsTheyAre) {
  CleanerState state;
  state.ProgramFolder = "C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3";  // UTF-8 "Прог"
  const std::string text = "%Program%\\\xEC\xEE\xED";              // Windows-1251 "мон"
  for (const bool recode : {false, true}) {
    MemoryByteSource bytes(ScrambleLine(text) + "\r\n");
    LineReader reader(bytes);
    const std::string line = ReadRuleLine(reader, state, nullptr, recode);
    EXPECT_EQ(line, recode ? state.ProgramFolder + "\\\xD0\xBC\xD0\xBE\xD0\xBD" : state.ProgramFolder + "\\\xEC\xEE\xED");
  }
}
