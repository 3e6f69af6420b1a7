#include "platform/files_paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(FilesPaths, FullPathsAndTheirForms) {
  const struct {
    std::wstring path;
    bool full;
    std::wstring extended;  // for full paths
  } cases[] = {
      {L"C:\\Velmora", true, L"\\\\?\\C:\\Velmora"},
      {L"c:\\", true, L"\\\\?\\c:\\"},
      {L"\\\\server\\share\\Velmora", true, L"\\\\?\\UNC\\server\\share\\Velmora"},
      {L"\\\\server\\share", true, L"\\\\?\\UNC\\server\\share"},
      {L"\\\\?\\C:\\Velmora", true, L"\\\\?\\C:\\Velmora"},
      {L"\\\\?\\unc\\server\\share", true, L"\\\\?\\unc\\server\\share"},
      {L"Velmora", false, L""},
      {L"..\\Velmora", false, L""},
      {L"C:Velmora", false, L""},
      {L"C:", false, L""},
      {L"\\Velmora", false, L""},
      {L"\\\\server", false, L""},
      {L"\\\\server\\", false, L""},
      {L"\\\\.\\C:\\Velmora", false, L""},
      {L"\\\\?\\Volume{x}\\Velmora", false, L""},
      {L"1:\\Velmora", false, L""},
      {L"", false, L""},
  };
  for (const auto& c : cases) {
    const std::string shown(c.path.begin(), c.path.end());
    EXPECT_EQ(IsFullPath(c.path), c.full) << shown;
    if (!c.full) continue;
    EXPECT_EQ(ExtendedPath(c.path), c.extended) << shown;
    EXPECT_EQ(ExtendedPath(ExtendedPath(c.path)), c.extended) << shown;
    EXPECT_EQ(OrdinaryPath(ExtendedPath(OrdinaryPath(c.path))), OrdinaryPath(c.path)) << shown;
  }
  EXPECT_TRUE(IsFullPath(L"C:/Velmora"));
  EXPECT_TRUE(IsFullPath(L"//server/share"));
  EXPECT_EQ(OrdinaryPath(L"\\\\?\\UNC\\server\\share\\x"), L"\\\\server\\share\\x");
  EXPECT_EQ(OrdinaryPath(L"\\\\?\\C:\\x"), L"C:\\x");
}

TEST(FilesPaths, TrailingBackslashesGoButADriveRootKeepsItsOne) {
  const struct {
    std::wstring path, trimmed;
  } cases[] = {
      {L"C:\\Velmora\\", L"C:\\Velmora"},
      {L"C:\\Velmora\\\\\\", L"C:\\Velmora"},
      {L"C:\\", L"C:\\"},
      {L"C:\\\\", L"C:\\"},
      // Code page 932 writes this character 0x95 0x5C; in UTF-16 its second byte is no `\`.
      {L"C:\\\x8868", L"C:\\\x8868"},
      {L"C:\\\x8868\\", L"C:\\\x8868"},
      {L"\\\\server\\share\\", L"\\\\server\\share"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutTrailingBackslashes(c.path), c.trimmed);
}

TEST(FilesPaths, ChildrenNeverLeaveTheirTop) {
  const std::wstring top = L"\\\\?\\C:\\target";
  const struct {
    std::wstring name;
    bool safe;
  } names[] = {
      {L"victim", true},
      {L"\xFF0E\xFF0E\xFF3Cvictim", true},  // fullwidth look-alikes are ordinary letters in UTF-16
      {L"\x4E2D\x6587", true},
      {L"name.", true},
      {L"name ", true},
      {L"...", true},
      {L".", false},
      {L"..", false},
      {L"", false},
      {L"..\\victim", false},
      {L"a/b", false},
      {L"file.txt:stream", false},
      {L"C:", false},
  };
  for (const auto& c : names) {
    const std::string shown(c.name.begin(), c.name.end());
    EXPECT_EQ(IsSafeChildName(c.name), c.safe) << shown;
    EXPECT_EQ(IsBelowFolder(top + L"\\" + c.name, top), c.safe) << shown;
    EXPECT_EQ(IsBelowFolder(top + L"\\sub\\" + c.name + L"\\x", top), c.safe) << shown;
  }
  EXPECT_TRUE(IsBelowFolder(L"\\\\?\\c:\\TARGET\\x", top));
  EXPECT_FALSE(IsBelowFolder(top, top));
  EXPECT_FALSE(IsBelowFolder(top + L"\\", top));
  EXPECT_FALSE(IsBelowFolder(L"\\\\?\\C:\\target2\\x", top));
  EXPECT_FALSE(IsBelowFolder(L"\\\\?\\C:\\victim", top));
}
