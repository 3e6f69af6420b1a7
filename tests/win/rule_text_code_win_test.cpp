#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/rules/rule_text_code.h"
#include "platform/text/wide_text.h"

// Rule lines under the UTF-8 code page mean what Windows' own Windows-1251 table says each
// byte means, the table the Startup shortcut's name is read with.
TEST(RuleTextCodeOnWindows, EveryByteMeansWhatWindowsOwnTableSays) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    const std::wstring windows = WideFromAnsi(text, kRuleFileCodePage);
    EXPECT_EQ(WideFromUtf8(Utf8FromWindows1251(text)), windows) << "byte " << byte;
  }
}
