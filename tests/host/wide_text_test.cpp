#include "platform/wide_text.h"

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
