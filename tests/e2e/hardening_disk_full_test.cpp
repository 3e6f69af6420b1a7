#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backup/backup_journal.h"
#include "platform/handles.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/watched_run.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

namespace {

// The folder on a 64 KiB tmpfs that tests/hardening/disk_full.sh mounts (as root) and names
// in CLEANER_FULL_DISK; empty when the test runs without it.
std::string FullDiskFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("CLEANER_FULL_DISK", path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::vector<std::string> SplitLines(const std::string& bytes, std::string& unfinished) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = bytes.find("\r\n"); end != std::string::npos; end = bytes.find("\r\n", start)) {
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  unfinished = bytes.substr(start);
  return lines;
}

constexpr int kFillerEntries = 5000;  // some 200 KiB of trace lines for a 64 KiB disk

// Takes every byte left on the disk for the life of the object.
class DiskFiller {
 public:
  explicit DiskFiller(const std::string& folder) : path_(folder + "\\filler.bin") {
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string block(512, 'f');
    DWORD written = 0;
    while (WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) && written > 0) {
    }
    CloseHandle(file);
  }
  ~DiskFiller() { DeleteFileA(path_.c_str()); }
  DiskFiller(const DiskFiller&) = delete;
  DiskFiller& operator=(const DiskFiller&) = delete;

 private:
  std::string path_;
};

// The disk folder, checked to be the small disk and emptied of an earlier log; empty when
// the test has no such disk.
std::string PreparedDisk(ULARGE_INTEGER& total) {
  const std::string disk = FullDiskFolder();
  if (disk.empty()) return disk;
  if (!GetDiskFreeSpaceExA((disk + "\\").c_str(), nullptr, &total, nullptr) || total.QuadPart > 1024u * 1024u) {
    ADD_FAILURE() << disk << " is not the small disk the test needs";
    return std::string();
  }
  DeleteFileA((disk + "\\VC.LOG").c_str());
  return disk;
}

constexpr char kNeedsTheDisk[] =
    "needs the 64 KiB tmpfs that tests/hardening/disk_full.sh mounts as root (CTest runs it as hardening.disk_full)";

}  // namespace

// The trace log lies in the current folder, here a disk of 64 KiB that the log of this run
// overflows. The write error must reach the error box as "I/O error 112." and end the run
// there: what the rules named before it is done, what they name after it is left, the log
// holds every line written before the disk filled, unchanged, and the program ends with
// exit code 2.
TEST(HardeningDiskFull, TraceLogOnAFullDiskShowsIoError112EndsWithExitCode2AndLosesNothingBefore) {
  ULARGE_INTEGER total{};
  const std::string disk = PreparedDisk(total);
  if (disk.empty()) GTEST_SKIP() << kNeedsTheDisk;

  ScratchKey key("hard_full");
  key.SetString("Before", "Mark", "goes");
  key.SetString("After", "Mark", "stays");
  ScratchFolder files("hard_full");
  WriteBytes(files / "before.dat", "goes");
  WriteBytes(files / "after.dat", "stays");
  std::vector<std::string> rules = {
      "[Registry_Delete]", "HKEY_CURRENT_USER\\" + key.Path() + "\\Before", "[Registry_Delete_End]",
      "[Delete_File]",     files / "before.dat",                           "[Delete_File_End]",
      "[Registry_Delete_Val]",
  };
  for (int i = 0; i < kFillerEntries; ++i) {
    rules.push_back("HKEY_CURRENT_USER\\Software\\CleanerTestsMissing=Value" + std::to_string(i));
  }
  const int firstFillerLine = 8;
  rules.insert(rules.end(), {"[Registry_Delete_Val_End]", "[Registry_Delete]",
                             "HKEY_CURRENT_USER\\" + key.Path() + "\\After", "[Registry_Delete_End]", "[Delete_File]",
                             files / "after.dat", "[Delete_File_End]"});
  CleanerFolder cleaner;
  cleaner.WriteRules(rules);
  cleaner.WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\n[End_Options]\r\n");

  const WatchedExit exit = RunWatched(cleaner / "Cleaner.exe", "/TL", disk);

  ASSERT_TRUE(exit.finished);
  EXPECT_EQ(exit.exitCode, 2u);
  ASSERT_FALSE(exit.dialogs.empty());
  EXPECT_EQ(exit.dialogs.front().caption, "Cleaner");
  for (const std::string& text : DialogTexts(exit)) EXPECT_EQ(text, "I/O error 112.");
  EXPECT_FALSE(key.Exists("Before"));
  EXPECT_EQ(GetFileAttributesA((files / "before.dat").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(key.HasValue("After", "Mark"));
  EXPECT_EQ(ReadBytes(files / "after.dat"), "stays");

  // Every complete line of the log is a time stamp, three blanks and the message due at
  // that point; the bytes after the last line end begin the next line, cut by the full disk.
  const std::string log = ReadBytes(disk + "\\VC.LOG");
  EXPECT_GE(log.size(), total.QuadPart - 4096) << "the log did not fill the disk";
  std::string unfinished;
  const std::vector<std::string> lines = SplitLines(log, unfinished);
  std::vector<std::string> messages;
  for (const std::string& line : lines) {
    const std::size_t blanks = line.find("   ");
    ASSERT_NE(blanks, std::string::npos) << line;
    messages.push_back(line.substr(blanks + 3));
  }
  const std::string opened = cleaner / "Do_list.dat opened";
  const auto at = std::find(messages.begin(), messages.end(), opened);
  ASSERT_NE(at, messages.end());
  // The first block (program, computer, account, command line, rule file) comes first.
  ASSERT_GE(messages.size(), 6u);
  EXPECT_EQ(messages[5], "Log file created");
  std::vector<std::string> expected(messages.begin(), at + 1);
  expected.push_back("Removed key HKEY_CURRENT_USER\\" + key.Path() + "\\Before");
  expected.push_back("DeleteRegKey 2");
  expected.push_back("Removed file " + files / "before.dat");
  expected.push_back("DelFile 5");
  for (int line = firstFillerLine; expected.size() < messages.size(); ++line) {
    expected.push_back("DeleteRegVal " + std::to_string(line));
  }
  EXPECT_EQ(messages, expected);
  EXPECT_LT(messages.size(), static_cast<std::size_t>(kFillerEntries)) << "the log never filled the disk";
  EXPECT_LT(unfinished.size(), lines.back().size() + 16) << "more than one line after the last line end";
  EXPECT_EQ(unfinished.find('\0'), std::string::npos);
}

// The log's first block (program, computer, account, command line, rule file) is longer than
// the 128-byte buffer, so a disk with no byte left fails at once, when the log is opened:
// start-up ends there, before the settings, and a quiet program still ends by itself, with
// exit code 2 and nothing changed.
TEST(HardeningDiskFull, LogThatCannotTakeItsFirstBlockEndsStartUpAndTheQuietProgramStillEnds) {
  ULARGE_INTEGER total{};
  const std::string disk = PreparedDisk(total);
  if (disk.empty()) GTEST_SKIP() << kNeedsTheDisk;
  ScratchKey key("hard_first");
  key.SetString("Kept", "Mark", "stays");
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\" + key.Path() + "\\Kept", "[Registry_Delete_End]"});
  cleaner.WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n");
  const DiskFiller filler(disk);
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA((disk + "\\").c_str(), &free, nullptr, nullptr));
  ASSERT_EQ(free.QuadPart, 0u) << "the disk still has room";

  const WatchedExit exit = RunWatched(cleaner / "Cleaner.exe", "/Q /TL", disk, 30000);

  ASSERT_TRUE(exit.finished);
  EXPECT_TRUE(exit.dialogs.empty());
  EXPECT_EQ(exit.exitCode, 2u);
  EXPECT_TRUE(key.HasValue("Kept", "Mark"));
  EXPECT_EQ(ReadBytes(disk + "\\VC.LOG"), "");
}

// The backup folder lies on the full disk: no change can be kept, so none is made. Each
// target stays, with its line, and the run goes on to the end with exit code 1.
TEST(HardeningDiskFull, BackupOnAFullDiskRefusesEveryChangeAndLosesNothing) {
  ULARGE_INTEGER total{};
  const std::string disk = PreparedDisk(total);
  if (disk.empty()) GTEST_SKIP() << kNeedsTheDisk;
  ScratchKey key("hard_full_backup");
  key.SetString("Product", "Mark", "kept");
  ScratchFolder files("hard_full_backup");
  WriteBytes(files / "tree\\a.dat", "kept");
  CleanerFolder cleaner;
  cleaner.WriteRules({"[Registry_Delete]", "HKEY_CURRENT_USER\\" + key.Path() + "\\Product", "[Registry_Delete_End]",
                      "[Delete_Folder]", files / "tree", "[Delete_Folder_End]"});
  cleaner.WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
  const std::string log = cleaner / "VC.LOG";
  int exitCode = -1;
  {
    // The small disk as a drive of its own, as a backup disk is on Windows.
    ASSERT_TRUE(MakeDriveLetter('F', disk));
    const DiskFiller filler(disk);
    exitCode = static_cast<int>(cleaner.Run("/Q /TL=" + log + " /BACKUP=F:\\backup").exitCode);
    EXPECT_TRUE(RemoveDriveLetter('F'));
  }
  EXPECT_EQ(exitCode, 1);
  EXPECT_TRUE(key.HasValue("Product", "Mark"));
  EXPECT_EQ(ReadBytes(files / "tree\\a.dat"), "kept");
  int refusals = 0;
  for (const std::string& line : cleaner.LogMessages()) {
    refusals += line.rfind("Not deleted, backup failed: ", 0) == 0 && line.find("(error 112") != std::string::npos;
    EXPECT_NE(line.rfind("Could NOT", 0), 0u) << "a refusal has one line, the backup's: " << line;
  }
  EXPECT_GE(refusals, 2) << "the key and the file each get their line";
}

// The backup's disk fills up part-way through the run (one page left when it starts): the
// journal keeps only whole lines, the run makes no change after the failed write and says so
// once, and undo puts back every file the run moved. A tree that goes into the backup whole
// writes all its lines at once: that write fails whole, and nothing of the tree moves. One
// whose file has a second name goes item by item, and the failure comes part-way.
TEST(HardeningDiskFull, AJournalWhoseWriteFailedMidwayStillUndoes) {
  for (const bool whole : {true, false}) {
    ULARGE_INTEGER total{};
    const std::string disk = PreparedDisk(total);
    if (disk.empty()) GTEST_SKIP() << kNeedsTheDisk;
    const std::string tree = disk + "\\tree";
    constexpr int kFiles = 80;  // empty: they take no room, and their journal lines more than a page
    for (int i = 0; i < kFiles; ++i) WriteBytes(tree + "\\file_with_a_long_name_" + std::to_string(i) + ".dat", "");
    const std::string secondName = disk + "\\second_name.dat";
    if (!whole) {
      ASSERT_TRUE(MakeHostHardLink(tree + "\\file_with_a_long_name_0.dat", secondName));
    }
    CleanerFolder cleaner;
    // Named through the disk's drive: below the disk's own folder Wine shows its mount as a link.
    cleaner.WriteRules({"[Delete_Folder]", "F:\\tree", "[Delete_Folder_End]"});
    cleaner.WriteSettings("[Mode]\r\nSILENT=1\r\n[End_Mode]\r\n[Options]\r\nDELETE=1\r\n[End_Options]\r\n");
    const std::string spacer = disk + "\\spacer.bin";
    WriteBytes(spacer, std::string(4096, 's'));
    int exitCode = -1;
    // The small disk as a drive of its own, as a backup disk is on Windows.
    ASSERT_TRUE(MakeDriveLetter('F', disk));
    {
      const DiskFiller filler(disk);
      ASSERT_TRUE(DeleteFileA(spacer.c_str()));
      exitCode = static_cast<int>(cleaner.Run("/Q /TL=" + (cleaner / "VC.LOG") + " /BACKUP=F:\\backup").exitCode);
    }
    EXPECT_EQ(exitCode, 1) << whole;
    int failureLines = 0;
    for (const std::string& line : cleaner.LogMessages()) {
      failureLines += line.rfind("The backup journal could not be written", 0) == 0;
    }
    EXPECT_EQ(failureLines, 1) << whole;
    WIN32_FIND_DATAA found{};
    std::string run;
    const UniqueFind find(FindFirstFileA("F:\\backup\\*", &found));
    if (find) {
      do {
        if (found.cFileName[0] != '.') run = std::string("F:\\backup\\") + found.cFileName;
      } while (FindNextFileA(find.Get(), &found));
    }
    ASSERT_FALSE(run.empty()) << whole;
    const std::string text = ReadBytes(run + "\\journal.txt");
    ASSERT_FALSE(text.empty()) << whole;
    EXPECT_EQ(text.back(), '\n') << "no line cut short";
    const Journal journal = ParseJournal(text);
    EXPECT_EQ(journal.problems, std::vector<std::string>{}) << whole;
    if (whole) {
      EXPECT_EQ(journal.entries.size(), 0u) << "the tree's lines are written at once or not at all";
      EXPECT_NE(GetFileAttributesA(tree.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing of the tree moved";
    } else {
      EXPECT_GT(journal.entries.size(), 0u) << "the failure came part-way";
      EXPECT_LT(journal.entries.size(), static_cast<std::size_t>(kFiles));
    }
    EXPECT_EQ(cleaner.Run("/Q /TL=" + (cleaner / "VC.LOG") + " /UNDO=" + run).exitCode, 0u) << [&] {
      std::string said;
      for (const std::string& line : cleaner.LogMessages()) said += line + "\n";
      return said;
    }();
    for (int i = 0; i < kFiles; ++i) {
      const std::string file = tree + "\\file_with_a_long_name_" + std::to_string(i) + ".dat";
      EXPECT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
    }
    EXPECT_TRUE(RemoveDriveLetter('F'));
    RemoveTreeForTest(disk + "\\backup");
    RemoveTreeForTest(tree);
    DeleteFileA(secondName.c_str());
  }
}
