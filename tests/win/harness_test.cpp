#include <gtest/gtest.h>
#include <windows.h>

#include "platform/errors.h"
#include "tests/support/wine_test_support.h"

// The test session must give the tests a window station and a private prefix.
TEST(WineHarness, ScratchFolderIsMadeAndRemoved) {
  std::string path;
  {
    ScratchFolder folder("harness");
    path = folder.Path();
    WriteBytes(folder / "a.txt", "abc");
    EXPECT_EQ(ReadBytes(folder / "a.txt"), "abc");
  }
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WineHarness, BuildFolderHoldsTheCleaner) {
  EXPECT_NE(GetFileAttributesA((BuildFolder() + "\\Cleaner.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}
