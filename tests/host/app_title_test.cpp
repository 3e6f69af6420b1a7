#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "platform/text/app_title.h"

namespace {

struct TitleCase {
  const char* path;
  const char* title;
};

// Test names keep to letters, digits and a few marks, so that test runners can list them.
void PrintTo(const TitleCase& c, std::ostream* out) {
  for (const char* p = c.path; *p; ++p) *out << (std::isalnum(static_cast<unsigned char>(*p)) || *p == '.' ? *p : '_');
}

class ApplicationTitleRule : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitleRule, FolderRemovedCutAtFirstDotRestLowerCased) {
  EXPECT_EQ(ApplicationTitleFromPath(GetParam().path), GetParam().title) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ApplicationTitleRule,
    ::testing::Values(TitleCase{"C:\\Tools\\A.B.C.EXE", "A"}, TitleCase{"C:\\Tools\\CLEANER.EXE", "Cleaner"},
                      TitleCase{"D:\\x\\My.Tool.exe", "My"}, TitleCase{"CLEANER.EXE", "Cleaner"},
                      TitleCase{"C:CLEAN.EXE", "Clean"}, TitleCase{"C:\\Dir.With.Dots\\RUN.EXE", "Run"},
                      TitleCase{"C:\\x\\NOEXT", "Noext"}, TitleCase{"C:\\x\\aBC.EXE", "abc"},
                      TitleCase{"C:\\x\\1ABC.EXE", "1abc"}, TitleCase{"C:\\x\\Q.EXE", "Q"},
                      TitleCase{"C:\\x\\.HIDDEN.EXE", ""}, TitleCase{"C:\\x\\", ""},
                      TitleCase{"\\\\server\\share\\MIXED_Case-9.exe", "Mixed_case-9"},
                      // Only A to Z change in the portable rule; Windows-1251 letters stay.
                      TitleCase{"C:\\x\\\xC0\xC1\xC2.EXE", "\xC0\xC1\xC2"}));

TEST(ApplicationTitle, LowerCaserSeesEverythingAfterTheFirstCharacterOnly) {
  std::string seen;
  const auto title = ApplicationTitleFromPath("C:\\Tools\\\xC0\xC1\xC2.EXE", [&](std::string& text) {
    seen = text;
    text = "xy";
  });
  EXPECT_EQ(seen, "\xC1\xC2");
  EXPECT_EQ(title, "\xC0xy");
}

TEST(ApplicationTitle, LowerCaserIsNotCalledForASingleCharacter) {
  bool called = false;
  EXPECT_EQ(ApplicationTitleFromPath("C:\\Z.EXE", [&](std::string&) { called = true; }), "Z");
  EXPECT_FALSE(called);
}

}  // namespace
