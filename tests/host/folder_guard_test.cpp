#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/guards/folder_guard.h"

TEST(FolderGuard, NormalisedForms) {
  const struct {
    std::string path;
    std::string normalised;
  } cases[] = {
      {"C:\\Windows", "C:\\WINDOWS"},
      {"c:\\windows\\", "C:\\WINDOWS"},
      {"C:\\Windows\\\\\\", "C:\\WINDOWS"},
      {"C:\\\\Windows\\\\System32", "C:\\WINDOWS\\SYSTEM32"},
      {"C:/Windows/System32/", "C:\\WINDOWS\\SYSTEM32"},
      {"C:\\Windows\\.\\System32\\.", "C:\\WINDOWS\\SYSTEM32"},
      {"C:\\Windows\\System32\\..", "C:\\WINDOWS"},
      {"C:\\Windows\\System32\\..\\..\\..\\..", "C:"},
      {"C:\\Windows. \\System32..", "C:\\WINDOWS\\SYSTEM32"},
      {"C:\\Windows\\...\\x", "C:\\WINDOWS\\X"},
      {"C:\\", "C:"},
      {"C:", "C:"},
      {"C:Tools\\..\\..\\X", "C:..\\X"},
      {"\\", "\\"},
      {"\\Tools\\..", "\\"},
      {"\\\\server\\share\\dir\\..\\..\\..", "\\\\SERVER\\SHARE"},
      {"\\\\?\\C:\\Windows\\", "C:\\WINDOWS"},
      {"\\??\\C:\\users\\Public\\Desktop", "C:\\USERS\\PUBLIC\\DESKTOP"},
      {"\\??\\C:\\", "C:"},
      {"\\\\?\\UNC\\server\\share\\x", "\\\\SERVER\\SHARE\\X"},
      {"Program\\..\\..\\Files", "..\\FILES"},
      {"x\\..\\C:", ".\\C:"},
      // A blank first name leaves "??" first: it must not turn into the NT prefix.
      {"\\   \\??\\C:\\x", "\\.\\??\\C:\\X"},
      {"\\\\.\\PhysicalDrive0", "\\\\.\\\\PHYSICALDRIVE0"},
      {"", ""},
      // Bytes above 127 are compared as they are; only a to z change.
      {"C:\\\xEF\xF0\xEE\xE3\\abc", "C:\\\xEF\xF0\xEE\xE3\\ABC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizedFolder(c.path), c.normalised) << c.path;
    EXPECT_EQ(NormalizedFolder(c.normalised), c.normalised) << "not stable: " << c.path;
  }
}

// Only "C:\name\name" passes; every other spelling of a place is refused, whatever it names.
TEST(FolderGuard, OnlyPlainDrivePathsArePlain) {
  const struct {
    std::string path;
    std::string problem;  // a part of the reason; empty: plain
  } cases[] = {
      {"C:\\", ""},
      {"c:\\Program Files\\Velmora Lab", ""},
      {"C:\\Program Files\\Velmora Lab\\", ""},
      {"C:\\PROGRA~1\\x", ""},  // a short name is plain text: the identity check sees through it
      {"C:\\\xEF\xF0\xEE\xE3", ""},
      {"\\??\\C:\\users\\Public\\Desktop", "NT or device"},
      {"\\??\\C:\\", "NT or device"},
      {"\\\\?\\C:\\Windows", "NT or device"},
      {"\\\\?\\UNC\\localhost\\c$\\Windows", "NT or device"},
      {"\\\\.\\C:\\Windows", "NT or device"},
      {"//?/C:/Windows", "NT or device"},
      {"\\\\localhost\\c$\\Windows", "share"},
      {"\\Windows", "root of the current drive"},
      {"Windows", "relative"},
      {"", "relative"},
      {"C:", "drive-relative"},
      {"C:Windows", "drive-relative"},
      {"C:/", "separator"},
      {"C:\\Windows/System32", "separator"},
      {"C:\\\\Windows", "empty name"},
      {"C:\\Windows\\.\\System32", "\"..\""},
      {"C:\\Velmora\\x\\..", "\"..\""},
      {"C:\\Windows.", "ending in a dot"},
      {"C:\\Windows \\x", "ending in a dot or a blank"},
      {"C:\\Velmora\\a:stream", "no name may hold"},
      {"C:\\Velmora\\a\tb", "no name may hold"},
      {"C:\\Velmora\\NUL", "device name"},
      {"C:\\Velmora\\con.txt", "device name"},
      {"C:\\Velmora\\COM10", ""},
  };
  for (const auto& c : cases) {
    const std::string problem = PlainPathProblem(c.path);
    std::wstring wide;
    for (const char b : c.path) wide += static_cast<wchar_t>(static_cast<unsigned char>(b));
    EXPECT_EQ(PlainPathProblem(wide), problem) << "UTF-16 judged otherwise: " << c.path;
    if (c.problem.empty()) {
      EXPECT_EQ(problem, "") << c.path;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.path << ": " << problem;
    }
  }
}

TEST(FolderGuard, RootsAndPathsThatNameNoFolder) {
  const struct {
    std::string path;
    bool root;
  } cases[] = {
      {"C:\\", true},
      {"C:", true},
      {"d:\\\\", true},
      {"C:\\.", true},
      {"C:\\Temp\\..", true},
      {"C:/", true},
      {"\\", true},
      {"\\\\", true},
      {"\\\\\\", true},
      {"\\..", true},
      {"\\\\server", true},
      {"\\\\server\\share", true},
      {"\\\\server\\share\\", true},
      {"\\\\server\\share\\x\\..", true},
      {"\\\\?\\UNC\\server\\share", true},
      {"\\\\?\\C:\\", true},
      {"\\\\.\\C:", true},
      {"\\\\.\\PhysicalDrive0", true},
      {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\", true},
      {"\\\\?.\\Temp", true},
      {"//?./Temp", true},
      {"", true},
      {".", true},
      {" ", true},
      {"C:\\Temp", false},
      {"C:Temp", false},
      {"\\Temp", false},
      {"\\\\server\\share\\Temp", false},
      {"Temp", false},
      {"..", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRootFolder(c.path), c.root) << "[" << c.path << "]";
}

TEST(FolderGuard, ProtectedFoldersAndEverythingAboveThem) {
  const std::vector<std::string> guarded = {
      "C:\\WINDOWS",
      "C:\\WINDOWS\\system32",
      "C:\\Program Files",
      "C:\\Program Files\\Common Files",
      "C:\\Documents and Settings\\User\\Start Menu\\Programs",
      "\\\\fileserver\\home\\user\\Desktop",
  };
  const struct {
    std::string path;
    bool refused;
  } cases[] = {
      {"C:\\Windows", true},
      {"c:\\windows\\", true},
      {"C:\\WINDOWS\\System32", true},
      {"C:\\Windows\\System32\\..", true},
      {"C:\\Windows\\Temp\\..\\..\\Windows", true},
      {"C:\\Windows.", true},
      {"C:/Program Files/", true},
      {"C:\\Program Files\\Common Files\\\\", true},
      {"C:\\Documents and Settings", true},
      {"C:\\Documents and Settings\\User", true},
      {"C:\\Documents and Settings\\User\\Start Menu", true},
      {"C:\\DOCUMENTS AND SETTINGS\\USER\\START MENU\\PROGRAMS", true},
      {"\\\\fileserver\\home\\user", true},
      {"\\\\?\\C:\\Program Files", true},
      {"\\??\\C:\\Documents and Settings\\User", true},
      {"\\??\\C:\\", true},
      {"C:\\", true},
      {"D:", true},
      // Beside or below the protected folders: allowed.
      {"C:\\Windows\\Temp\\Velmora", false},
      {"C:\\Windows2", false},
      {"C:\\Win", false},
      {"C:\\Program", false},
      {"C:\\WindowsApps", false},
      {"C:\\Program Files\\Velmora\\QRV", false},
      {"C:\\Program Files\\Common Files\\Velmora Shared", false},
      {"C:\\Documents and Settings\\User\\Start Menu\\Programs\\QRV", false},
      {"C:\\Documents and Settings\\Other", false},
      {"\\\\fileserver\\home\\other", false},
      {"D:\\Windows", false},
      {"C:\\Windows\\System32\\..\\Temp", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsProtectedFolder(c.path, guarded), c.refused) << c.path;
}

TEST(FolderGuard, EmptyOrRootEntriesOfTheListProtectNothingExtra) {
  const std::vector<std::string> guarded = {"", "   ", "C:\\Program Files"};
  EXPECT_FALSE(IsProtectedFolder("C:\\Temp\\X", guarded));
  EXPECT_TRUE(IsProtectedFolder("C:\\Program Files", guarded));
  EXPECT_FALSE(IsProtectedFolder("C:\\Temp\\X", {}));
  EXPECT_TRUE(IsProtectedFolder("C:\\", {}));
}
