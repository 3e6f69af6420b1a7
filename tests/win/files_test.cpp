#include "platform/files/files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <vector>

#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/text/wide_text.h"
#include "tests/support/wine_test_support.h"

namespace {
// Gives a file a last-write time on the given day (local midday).
void SetLastWriteDay(const std::string& path, WORD year, WORD month, WORD day) {
  SYSTEMTIME local{};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = 12;
  FILETIME localTime{};
  FILETIME utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  const UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.Valid());
  ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &utc));
}

bool HasDosTime(const std::string& path) {
  WIN32_FIND_DATAA data{};
  const UniqueFind find(FindFirstFileA(path.c_str(), &data));
  FILETIME local{};
  WORD date = 0;
  WORD time = 0;
  return find.Valid() && FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
         FileTimeToDosDateTime(&local, &date, &time);
}
}  // namespace

TEST(Existence, FilesWhateverTheirAttributesAndTimeStampsButNeverFolders) {
  ScratchFolder folder("exist");
  WriteBytes(folder / "plain.txt", "x");
  WriteBytes(folder / "hidden.txt", "x");
  ASSERT_TRUE(SetFileAttributesA((folder / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  WriteBytes(folder / "old1975.txt", "x");
  SetLastWriteDay(folder / "old1975.txt", 1975, 6, 1);
  WriteBytes(folder / "epoch.txt", "x");
  SetLastWriteDay(folder / "epoch.txt", 1970, 1, 2);
  MakeFolders(folder / "sub");
  MakeFolders(folder / "onlyfolders\\inner");
  // The old files really carry times that have no MS-DOS form.
  ASSERT_FALSE(HasDosTime(folder / "old1975.txt"));
  ASSERT_FALSE(HasDosTime(folder / "epoch.txt"));
  ASSERT_TRUE(HasDosTime(folder / "plain.txt"));

  const struct {
    std::string path;
    bool file;
    bool folder;
  } cases[] = {
      {folder / "plain.txt", true, false},
      {folder / "hidden.txt", true, false},
      {folder / "old1975.txt", true, false},
      {folder / "epoch.txt", true, false},
      {folder / "sub", false, true},
      {folder / "sub\\", false, true},
      {folder / "missing.txt", false, false},
      {folder / "missing\\plain.txt", false, false},
      {folder / "pl*.txt", true, false},           // judged by its first match
      {folder / "onlyfolders\\in*", false, false},  // the first match is a folder
      {"C:\\", false, true},
      {"", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsExistingFile(c.path), c.file) << c.path;
    EXPECT_EQ(IsExistingFolder(c.path), c.folder) << c.path;
  }
  SetFileAttributesA((folder / "hidden.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Existence, WideNamesOutsideTheAnsiCodePage) {
  ScratchFolder folder("wide");
  const std::wstring base = WideFromAnsi(folder.Path()) + L"\\";
  const std::wstring name = base + L"ZDN \x041C\x043E\x043D\x0438\x0442\x043E\x0440 \x65E5.lnk";
  {
    const UniqueFile file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.Valid());
  }
  ASSERT_TRUE(CreateDirectoryW((base + L"\x0414\x0438\x0440").c_str(), nullptr));
  EXPECT_TRUE(IsExistingFileWide(name));
  EXPECT_FALSE(IsExistingFileWide(base + L"\x0414\x0438\x0440"));
  EXPECT_FALSE(IsExistingFileWide(base + L"missing.lnk"));
  DeleteFileW(name.c_str());
  RemoveDirectoryW((base + L"\x0414\x0438\x0440").c_str());
}

TEST(Enumeration, EverythingComesBackIncludingDotEntries) {
  ScratchFolder folder("enum");
  WriteBytes(folder / "plain.txt", "x");
  WriteBytes(folder / "locked.txt", "x");
  MakeFolders(folder / "sub");
  const DWORD locked = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
  ASSERT_TRUE(SetFileAttributesA((folder / "locked.txt").c_str(), locked));
  ASSERT_TRUE(SetFileAttributesA((folder / "sub").c_str(), FILE_ATTRIBUTE_HIDDEN));

  std::map<std::wstring, DWORD> found;
  FolderEnumeration enumeration(WideFromAnsi(folder.Path()));
  DirectoryEntry entry;
  while (enumeration.Next(entry)) {
    EXPECT_TRUE(found.emplace(entry.name, entry.attributes).second) << "twice: " << AnsiFromWide(entry.name);
  }
  EXPECT_FALSE(enumeration.Next(entry)) << "stays at its end";

  ASSERT_EQ(found.size(), 5u);
  EXPECT_NE(found[L"."] & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(found[L".."] & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(found[L"locked.txt"] & locked, locked) << "the complete attribute set";
  EXPECT_EQ(found[L"plain.txt"] & (FILE_ATTRIBUTE_DIRECTORY | locked), 0u);
  EXPECT_EQ(found[L"sub"] & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  SetFileAttributesA((folder / "locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Enumeration, AMissingFolderGivesNothing) {
  ScratchFolder folder("enumnone");
  FolderEnumeration missing(WideFromAnsi(folder / "missing"));
  DirectoryEntry entry;
  EXPECT_FALSE(missing.Next(entry));
}

TEST(Environment, WindowsAndSystemFoldersAreWholeExistingFolders) {
  const std::string windows = WindowsFolder();
  const std::string system = SystemFolder();
  EXPECT_TRUE(IsExistingFolder(windows)) << windows;
  EXPECT_TRUE(IsExistingFolder(system)) << system;
  EXPECT_EQ(windows.find('\0'), std::string::npos);
  EXPECT_EQ(system.rfind(windows + "\\", 0), 0u) << system;
  EXPECT_TRUE(IsExistingFile(system + "\\kernel32.dll"));
}

TEST(Environment, ProgramPathNamesThisExecutable) {
  const std::string path = ProgramPath();
  EXPECT_TRUE(IsExistingFile(path)) << path;
  const std::string tail = "\\win_tests.exe";
  ASSERT_GE(path.size(), tail.size());
  EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
}

TEST(Texts, WideFromAnsiAndBack) {
  const struct {
    std::string bytes;
    UINT codePage;
    std::wstring wide;
  } cases[] = {
      {"ZDN \xCC\xEE\xED\xE8\xF2\xEE\xF0.lnk", 1251, L"ZDN \x041C\x043E\x043D\x0438\x0442\x043E\x0440.lnk"},
      {"\xE9t\xE9", 1252, L"\x00E9t\x00E9"},
      {"plain", 1251, L"plain"},
      {"", 1251, L""},
      {std::string("a\0b", 3), 1251, std::wstring(L"a\0b", 3)},
      // Code page 932: 0x95 0x5C is one character whose second byte is a backslash.
      {"C:\\\x95\x5C\\", 932, L"C:\\\x8868\\"},
      {"\x83\x5C\x83\x74\x83\x67", 932, L"\x30BD\x30D5\x30C8"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideFromAnsi(c.bytes, c.codePage), c.wide) << c.bytes;
    EXPECT_EQ(AnsiFromWide(c.wide, c.codePage), c.bytes) << c.bytes;
  }
  // Code page 932: the trailing `\` goes, the character ending in byte 0x5C stays whole.
  EXPECT_EQ(WithoutTrailingBackslashes(WideFromAnsi("C:\\\x95\x5C\\\\", 932)), WideFromAnsi("C:\\\x95\x5C", 932));
  // What a code page cannot hold is shown as "?", never as a look-alike separator.
  EXPECT_EQ(AnsiFromWide(L"\xFF0E\xFF0E\xFF3C" L"victim", 1252), "???victim");
  EXPECT_EQ(AnsiFromWide(L"\x0416", 65001), "\xD0\x96");
  EXPECT_EQ(AnsiFromWide(L"\x4E2D\x6587", 1252), "??");
}

// The opens a deletion makes, against the answers Windows gives for each file's access list.
TEST(DeletionOpen, AsksDeleteAloneWhereWriteAttributesIsRefused) {
  constexpr DWORD kWithAttributes = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  constexpr DWORD kDeleteAlone = DELETE | FILE_READ_ATTRIBUTES;
  const struct {
    const char* windowsCase;
    bool plainFirst;
    std::vector<DWORD> answers;
    DWORD result;
    bool writeAttributes;
    std::vector<DWORD> asked;
  } cases[] = {
      {"a file that grants delete and write-attributes", true, {ERROR_SUCCESS}, ERROR_SUCCESS, true,
       {kWithAttributes}},
      {"a product file whose own access list denies write-attributes, its folder granting delete-child", true,
       {ERROR_ACCESS_DENIED, ERROR_SUCCESS}, ERROR_SUCCESS, false, {kWithAttributes, kDeleteAlone}},
      {"a file nobody but SYSTEM may delete", true, {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}, ERROR_ACCESS_DENIED,
       false, {kWithAttributes, kDeleteAlone}},
      {"a file open elsewhere without delete sharing", true, {ERROR_SHARING_VIOLATION}, ERROR_SHARING_VIOLATION, true,
       {kWithAttributes}},
      {"a plain file, attributes left as they are", false, {ERROR_ACCESS_DENIED}, ERROR_ACCESS_DENIED, false,
       {kDeleteAlone}},
  };
  for (const auto& c : cases) {
    std::vector<DWORD> asked;
    bool writeAttributes = false;
    const DWORD result = OpenForDeletion(
        [&](DWORD access) {
          asked.push_back(access);
          return c.answers.at(asked.size() - 1);
        },
        c.plainFirst, writeAttributes);
    EXPECT_EQ(result, c.result) << c.windowsCase;
    EXPECT_EQ(writeAttributes, c.writeAttributes) << c.windowsCase;
    EXPECT_EQ(asked, c.asked) << c.windowsCase;
  }
}

// Which disposition marks a deletion, against what each system answers for POSIX semantics.
TEST(DeletionOpen, PosixSemanticsWhereOfferedTheOldDispositionWhereNot) {
  constexpr LONG kSuccess = 0;
  constexpr LONG kNotImplemented = static_cast<LONG>(0xC0000002);
  constexpr LONG kInvalidInfoClass = static_cast<LONG>(0xC0000003);
  constexpr LONG kInvalidParameter = static_cast<LONG>(0xC000000D);
  constexpr LONG kNotSupported = static_cast<LONG>(0xC00000BB);
  constexpr LONG kCannotDelete = static_cast<LONG>(0xC0000121);
  constexpr LONG kNotEmpty = static_cast<LONG>(0xC0000101);
  const struct {
    const char* windowsCase;
    LONG posixAnswer;
    LONG result;
    bool posix;
  } cases[] = {
      {"NTFS on Windows 10 1709 and later", kSuccess, kSuccess, true},
      {"Wine 8: not implemented", kNotImplemented, kSuccess, false},
      {"Windows 8.1: the class is unknown", kInvalidInfoClass, kSuccess, false},
      {"FAT: POSIX semantics refused", kInvalidParameter, kSuccess, false},
      {"a file system that does not support it", kNotSupported, kSuccess, false},
      {"a running program: the same answer either way", kCannotDelete, kCannotDelete, true},
      {"a folder that still holds something", kNotEmpty, kNotEmpty, true},
  };
  for (const auto& c : cases) {
    std::vector<bool> asked;
    bool posix = false;
    const LONG result = MarkForDeletion(
        [&](bool posixSemantics) {
          asked.push_back(posixSemantics);
          return posixSemantics ? c.posixAnswer : kSuccess;
        },
        posix);
    EXPECT_EQ(result, c.result) << c.windowsCase;
    EXPECT_EQ(posix, c.posix) << c.windowsCase;
    const std::vector<bool> expected = c.posix ? std::vector<bool>{true} : std::vector<bool>{true, false};
    EXPECT_EQ(asked, expected) << c.windowsCase;
  }
}

// Only a system that lacks POSIX deletion altogether is not asked for it again; a file system
// that refuses it (FAT) leaves the next file, perhaps on NTFS, to be asked anew.
TEST(DeletionOpen, OnlyASystemWithoutPosixDeletionStopsAskingForIt) {
  const struct {
    const char* windowsCase;
    LONG answer;
    bool systemLacksIt;
  } cases[] = {
      {"Wine 8: not implemented", static_cast<LONG>(0xC0000002), true},
      {"Windows 8.1: the class is unknown", static_cast<LONG>(0xC0000003), true},
      {"FAT on Windows 10: POSIX semantics refused", static_cast<LONG>(0xC000000D), false},
      {"a file system that does not support it", static_cast<LONG>(0xC00000BB), false},
      {"a running program", static_cast<LONG>(0xC0000121), false},
      {"NTFS on Windows 10 1709 and later", 0, false},
  };
  for (const auto& c : cases) EXPECT_EQ(SystemLacksPosixDeletion(c.answer), c.systemLacksIt) << c.windowsCase;
}

// Under Wine, which lacks POSIX deletion, a file whose attributes stay is opened to be deleted
// at its close: what the disposition refused, that open refuses too, with the same answers.
TEST(DeletionOpen, DeletionAtCloseRefusesWhatTheDispositionRefuses) {
  ScratchFolder folder("atclose");
  for (const char* name : {"first.dat", "plain.dat", "readonly.dat", "held.dat", "shared.dat"}) {
    WriteBytes(folder / name, "x");
  }
  ASSERT_TRUE(SetFileAttributesA((folder / "readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY));
  const UniqueFile parent(CreateFileA(folder.Path().c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(parent.Valid());
  // The first deletion asks for POSIX semantics and learns that Wine has none.
  ASSERT_EQ(RemoveChildOf(parent.Get(), L"first.dat", false, false), static_cast<DWORD>(ERROR_SUCCESS));
  const auto hold = [&](const char* name, DWORD share) {
    return UniqueFile(CreateFileA((folder / name).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  UniqueFile held = hold("held.dat", FILE_SHARE_READ);
  UniqueFile shared = hold("shared.dat", FILE_SHARE_READ | FILE_SHARE_DELETE);
  const struct {
    const wchar_t* name;
    DWORD answer;
    bool staysWhileHeld;
  } cases[] = {
      {L"plain.dat", ERROR_SUCCESS, false},
      {L"readonly.dat", ERROR_ACCESS_DENIED, true},        // read-only, not a mapped image
      {L"held.dat", ERROR_SHARING_VIOLATION, true},        // open elsewhere without delete sharing
      {L"shared.dat", ERROR_SUCCESS, true},                // goes when its holder closes it
      {L"missing.dat", ERROR_FILE_NOT_FOUND, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveChildOf(parent.Get(), c.name, false, false), c.answer) << AnsiFromWide(c.name);
    EXPECT_EQ(IsExistingFile(folder / AnsiFromWide(c.name)), c.staysWhileHeld) << AnsiFromWide(c.name);
  }
  held.Reset();
  shared.Reset();
  EXPECT_FALSE(IsExistingFile(folder / "shared.dat"));
  EXPECT_TRUE(IsExistingFile(folder / "held.dat"));
  EXPECT_TRUE(IsExistingFile(folder / "readonly.dat"));
  ASSERT_TRUE(SetFileAttributesA((folder / "readonly.dat").c_str(), FILE_ATTRIBUTE_NORMAL));
}
