#include "platform/text/wide_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Utf8FromWide, EncodesEveryPlaneAndReplacesLoneSurrogates) {
  const struct {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"", ""},
      {L"C:\\target", "C:\\target"},
      {L"\x00E9", "\xC3\xA9"},
      {L"\xFF0E\xFF0E\xFF3C", "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC"},
      {L"\x4E2D\x6587", "\xE4\xB8\xAD\xE6\x96\x87"},
      {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"},  // a surrogate pair
      {std::wstring{wchar_t(0xD83D), L'x'}, "\xEF\xBF\xBDx"},
      {std::wstring{wchar_t(0xDE00)}, "\xEF\xBF\xBD"},
      {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8FromWide(c.wide), c.utf8) << c.utf8;
}

TEST(WideFromUtf8, GivesUtf16UnitsAndOneReplacementPerIllFormedPart) {
  const std::wstring bad{wchar_t(0xFFFD)};
  const struct {
    std::string utf8;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {"\xC3\xA9\xD0\x96", L"\x00E9\x0416"},
      {"\xEF\xBC\x8E\xEF\xBF\xBF", L"\xFF0E\xFFFF"},
      {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", {wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xDBFF), wchar_t(0xDFFF)}},
      {"\xC0\x80", bad + bad},                // overlong NUL
      {"\xE0\x80\xAF", bad + bad + bad},      // overlong /
      {"\xED\xA0\x80", bad + bad + bad},      // an encoded surrogate
      {"\xF4\x90\x80\x80", bad + bad + bad + bad},  // above U+10FFFF
      {"\xE2\x82x\xE2\x82", bad + L"x" + bad},  // cut short, in the middle and at the end
      {"\x80\xBFz\xFE\xFF", bad + bad + L"z" + bad + bad},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideFromUtf8(c.utf8), c.wide) << c.utf8;
    if (c.wide.find(bad) == std::wstring::npos) {
      EXPECT_EQ(Utf8FromWide(c.wide), c.utf8);
    }
  }
}
