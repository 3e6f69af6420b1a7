#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "platform/errors.h"
#include "ui/error_handler.h"

namespace {

struct FullStopCase {
  std::string message;
  std::string shown;
};

// Test names keep to letters, digits and a few marks, so that test runners can list them.
void PrintTo(const FullStopCase& c, std::ostream* out) {
  if (c.message.empty()) *out << "empty";
  for (const char ch : c.message) *out << (std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' ? ch : '_');
}

class FullStopRule : public ::testing::TestWithParam<FullStopCase> {};

TEST_P(FullStopRule, AppendsAFullStopOnlyAfterBytesAboveIt) {
  EXPECT_EQ(WithFullStop(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FullStopRule,
    ::testing::Values(FullStopCase{"File not found", "File not found."},
                      FullStopCase{"I/O error 103", "I/O error 103."},
                      FullStopCase{"Already ends.", "Already ends."}, FullStopCase{"Blank ", "Blank "},
                      FullStopCase{"Wow!", "Wow!"}, FullStopCase{"(in brackets)", "(in brackets)"},
                      FullStopCase{"", ""}, FullStopCase{"dash-", "dash-"}, FullStopCase{"comma,", "comma,"},
                      // '/' and '\' sort after '.'.
                      FullStopCase{"and/", "and/."}, FullStopCase{"C:\\", "C:\\."},
                      FullStopCase{"digit 0", "digit 0."},
                      // Bytes above 127 compare as unsigned and so sort after '.'.
                      FullStopCase{"\xCE\xF8\xE8\xE1\xEA\xE0", "\xCE\xF8\xE8\xE1\xEA\xE0."}));

TEST(FullStopRule, InOutErrorMessagesGetOne) {
  EXPECT_EQ(WithFullStop(EInOutError(103).what()), "I/O error 103.");
  EXPECT_EQ(WithFullStop(EInOutError(2).what()), "File not found.");
}

}  // namespace
