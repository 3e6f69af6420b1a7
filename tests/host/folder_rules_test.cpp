#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/folder_rules.h"

TEST(BrowseStartFolder, TextThenRememberedThenRootOfTheDrive) {
  const std::set<std::string> folders = {"C:\\QRV", "D:\\Shared", "C:\\"};
  const auto exists = [&](const std::string& path) { return folders.count(path) > 0; };
  const struct {
    const char* text;
    const char* remembered;
    const char* start;
  } cases[] = {
      {"C:\\QRV", "D:\\Shared", "C:\\QRV"},   // the text wins
      {"", "D:\\Shared", "D:\\Shared"},      // empty field: the remembered folder
      {"", "", "\\"},                         // nothing at all
      {"C:\\Gone", "D:\\Shared", "\\"},      // a missing folder, not its parent or the memory
      {"", "C:\\Gone", "\\"},                 // a remembered folder removed since
      {"C:\\", "", "C:\\"},
      {"c:\\qrv", "", "\\"},                  // the predicate decides; no case folding here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BrowseStartFolder(c.text, c.remembered, exists), c.start)
        << "text '" << c.text << "' remembered '" << c.remembered << "'";
  }
}

TEST(WithoutTrailingBackslash, DriveRootsKeepTheirs) {
  const struct {
    const char* path;
    const char* result;
  } cases[] = {
      {"C:\\", "C:\\"},          {"z:\\", "z:\\"},          {"C:\\QRV\\", "C:\\QRV"},
      {"C:\\QRV", "C:\\QRV"},    {"\\\\srv\\share\\", "\\\\srv\\share"},
      {"1:\\", "1:"},            {"CC\\", "CC"},            {"C:\\\\", "C:\\"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutTrailingBackslash(c.path), c.result) << c.path;
}

TEST(Win32ErrorText, CodeAndSystemTextWithoutTrailingLineBreak) {
  EXPECT_EQ(Win32ErrorText(2, "The system cannot find the file specified.\r\n"),
            "Win32 Error.  Code: 2.\nThe system cannot find the file specified.");
  EXPECT_EQ(Win32ErrorText(1234, "Some text \t\r\n"), "Win32 Error.  Code: 1234.\nSome text");
  EXPECT_EQ(Win32ErrorText(0, "The operation completed successfully.\r\n"),
            "Win32 Error.  Code: 0.\nA Win32 API function failed");
  EXPECT_EQ(Win32ErrorText(4294967295UL, ""), "Win32 Error.  Code: -1.\n");
}
