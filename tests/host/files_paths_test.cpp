#include "platform/files/files_paths.h"
#include "platform/files/system_mirror.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Shown(const std::wstring& text) { return std::string(text.begin(), text.end()); }
}  // namespace

TEST(FilesPaths, FullPathsAndTheirExtendedForms) {
  const struct {
    std::wstring path, extended;  // extended empty: not a full path
  } cases[] = {
      {L"C:\\Velmora", L"\\\\?\\C:\\Velmora"},
      {L"\\\\server\\share\\Velmora", L"\\\\?\\UNC\\server\\share\\Velmora"},
      {L"\\\\?\\C:\\Velmora", L"\\\\?\\C:\\Velmora"},
      {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
      {L"Velmora", L""}, {L"..\\Velmora", L""}, {L"C:Velmora", L""}, {L"\\Velmora", L""},
      {L"\\\\server\\", L""}, {L"\\\\.\\C:\\Velmora", L""}, {L"\\\\?\\Volume{x}\\V", L""}, {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFullPath(c.path), !c.extended.empty()) << Shown(c.path);
    if (c.extended.empty()) continue;
    EXPECT_EQ(ExtendedPath(c.path), c.extended) << Shown(c.path);
    EXPECT_EQ(ExtendedPath(OrdinaryPath(c.extended)), c.extended) << Shown(c.path);
  }
  EXPECT_TRUE(IsFullPath(L"C:/Velmora"));
  EXPECT_EQ(OrdinaryPath(L"\\\\?\\UNC\\server\\share\\x"), L"\\\\server\\share\\x");
}

TEST(FilesPaths, TrailingBackslashesGoButADriveRootKeepsItsOne) {
  // Code page 932 writes U+8868 as 0x95 0x5C; in UTF-16 no half of it is a `\`.
  const std::wstring cases[][2] = {{L"C:\\V\\\\", L"C:\\V"}, {L"C:\\\\", L"C:\\"}, {L"C:\\\x8868\\", L"C:\\\x8868"},
                                   {L"C:\\\x8868", L"C:\\\x8868"}, {L"\\\\server\\share\\", L"\\\\server\\share"}};
  for (const auto& c : cases) EXPECT_EQ(WithoutTrailingBackslashes(c[0]), c[1]) << Shown(c[0]);
}

TEST(FilesPaths, ChildrenNeverLeaveTheirTop) {
  const std::wstring top = L"\\\\?\\C:\\target";
  const struct {
    std::wstring name;
    bool safe;
  } names[] = {{L"victim", true}, {L"\xFF0E\xFF0E\xFF3Cvictim", true}, {L"name.", true}, {L"...", true},
               {L".", false},     {L"..", false},                      {L"", false},      {L"..\\victim", false},
               {L"a/b", false},   {L"f.txt:stream", false}};
  for (const auto& c : names) {
    EXPECT_EQ(IsSafeChildName(c.name), c.safe) << Shown(c.name);
    EXPECT_EQ(IsBelowFolder(top + L"\\sub\\" + c.name, top), c.safe) << Shown(c.name);
  }
  EXPECT_TRUE(IsBelowFolder(L"\\\\?\\c:\\TARGET\\x", top));
  for (const std::wstring& outside : {top, top + L"\\", std::wstring(L"\\\\?\\C:\\target2\\x"), std::wstring(L"\\\\?\\C:\\victim")}) {
    EXPECT_FALSE(IsBelowFolder(outside, top)) << Shown(outside);
  }
}

TEST(RealSystemFolder, OnlyPathsBelowTheSystemFolderAreMirroredAndOnlyUnderWow64) {
  const SystemMirror wow64{L"C:\\windows\\system32", L"C:\\windows\\Sysnative"};
  const std::wstring native = L"C:\\windows\\Sysnative\\drivers\\q.sys";
  EXPECT_EQ(InRealSystemFolder(wow64, L"c:\\WINDOWS\\System32\\drivers\\q.sys"), native);
  EXPECT_EQ(InRealSystemFolder({wow64.systemFolder, L""}, L"C:\\windows\\system32\\q.sys"), L"");
  // A folder entry written with a final backslash names the same folder.
  EXPECT_EQ(InRealSystemFolder(wow64, L"C:\\windows\\system32\\drivers\\"), L"C:\\windows\\Sysnative\\drivers");
  for (const wchar_t* path : {L"C:\\windows\\system32", L"C:\\windows\\system32\\", L"C:\\windows\\system32x\\q",
                              L"C:\\windows\\syswow64\\q", L"C:\\windows\\system32\\..\\q"}) {
    EXPECT_EQ(InRealSystemFolder(wow64, path), L"") << Shown(path);
  }
  EXPECT_TRUE(IsInRealSystemFolder(wow64, ExtendedPath(native)));
  EXPECT_FALSE(IsInRealSystemFolder(wow64, L"C:\\windows\\system32\\q.sys"));
}

// On 64-bit Windows an entry in the 32-bit Program Files or Common Files folder names the
// same place in the 64-bit one; nothing else has a twin, and neither folder is its own.
TEST(NativeProgramFolder, AnEntryBelowA32BitFolderHasItsTwinBelowThe64BitOne) {
  const SystemMirror wow64{L"C:\\windows\\system32", L"C:\\windows\\Sysnative",
                           {{L"C:\\Program Files (x86)\\Common Files", L"C:\\Program Files\\Common Files"},
                            {L"C:\\Program Files (x86)", L"C:\\Program Files"}}};
  const struct {
    const wchar_t* path;
    const wchar_t* twin;
  } cases[] = {
      {L"C:\\Program Files (x86)\\Velmora Lab", L"C:\\Program Files\\Velmora Lab"},
      {L"c:\\program files (x86)\\Velmora Lab\\bin\\q.dll", L"C:\\Program Files\\Velmora Lab\\bin\\q.dll"},
      {L"C:\\Program Files (x86)\\Common Files\\ZDN", L"C:\\Program Files\\Common Files\\ZDN"},
      {L"C:\\Program Files (x86)\\Common Files\\ZDN\\", L"C:\\Program Files\\Common Files\\ZDN"},
      {L"C:\\Program Files (x86)", L""},
      {L"C:\\Program Files (x86)x\\Velmora", L""},
      {L"C:\\Program Files\\Velmora Lab", L""},
      {L"C:\\Program Files (x86)\\..\\Windows", L""},
      {L"D:\\Program Files (x86)\\Velmora", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InNativeProgramFolder(wow64, c.path), c.twin) << Shown(c.path);
    EXPECT_EQ(IsInNativeProgramFolder(wow64, c.twin), *c.twin != L'\0');
  }
  EXPECT_EQ(InNativeProgramFolder(SystemMirror{L"C:\\windows\\system32", L"", {}}, L"C:\\Program Files (x86)\\V"), L"");
}
