#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <map>
#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/backup_journal.h"
#include "backup/undo.h"
#include "backup/whole_tree.h"
#include "engine/run_observer.h"
#include "engine/run/deletion.h"
#include "platform/files/files_paths.h"
#include "platform/files/relative_files.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/held_file.h"
#include "tests/support/wine_test_support.h"

namespace {

using Lines = std::vector<std::string>;

std::string OneRunIn(const std::string& backup) {
  WIN32_FIND_DATAA found{};
  std::vector<std::string> runs;
  const UniqueFind find(FindFirstFileA((backup + "\\*").c_str(), &found));
  if (find) {
    do {
      if (found.cFileName[0] != '.') runs.push_back(backup + "\\" + found.cFileName);
    } while (FindNextFileA(find.Get(), &found));
  }
  return runs.size() == 1 ? runs.front() : std::string();
}

bool AnyStartsWith(const Lines& lines, const std::string& start) {
  for (const std::string& line : lines) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return false;
}

// What undo must bring back of every item below a folder: attributes and security descriptor;
// for a file also its size, bytes and times of creation and last write.
std::map<std::wstring, std::string> TreeFacts(const std::string& top) {
  std::map<std::wstring, std::string> facts;
  for (const std::wstring& path : ListTreeWide(L"\\\\?\\" + WideFromAnsi(top))) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
      facts[path] = "unreadable";
      continue;
    }
    std::string fact = "attributes " + std::to_string(data.dwFileAttributes) + " security " +
                       AnsiFromWide(FileSecurityText(path));
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      fact += " created " + std::to_string(data.ftCreationTime.dwLowDateTime) + " written " +
              std::to_string(data.ftLastWriteTime.dwHighDateTime) + ":" +
              std::to_string(data.ftLastWriteTime.dwLowDateTime) + " bytes " +
              ReadBytes(AnsiFromWide(OrdinaryPath(path)));
    }
    facts[path] = fact;
  }
  return facts;
}

// A product folder with what a tree can hold: nested and empty folders, a read-only hidden
// file in a hidden folder, a file larger than one read, and a file with an old write time.
std::string MakeProductTree(const ScratchFolder& scratch) {
  const std::string top = scratch / "Product";
  WriteBytes(top + "\\product.dll", "alpha");
  WriteBytes(top + "\\Sub\\kept.ini", "[kept]\r\n");
  WriteBytes(top + "\\Sub\\Deep\\large.dat", std::string(70000, 'c'));
  MakeFolders(top + "\\Empty");
  SetFileAttributesA((top + "\\Sub\\kept.ini").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((top + "\\Sub").c_str(), FILE_ATTRIBUTE_HIDDEN);
  // An access list of its own, which the move keeps and undo must put back.
  EXPECT_EQ(SetFileSecurityText(ExtendedPath(WideFromAnsi(top + "\\Sub\\Deep")), L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"),
            DWORD{ERROR_SUCCESS});
  const UniqueFile dll(CreateFileA((top + "\\product.dll").c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  const FILETIME old{0x2A69C000u, 0x01D00000u};  // 2014
  SetFileTime(dll.Get(), &old, nullptr, &old);
  return top;
}

// One cleaning of the folder tree at top with the backup on below backupFolder; what the
// backup listed as refused and what it traced.
struct BackedUpDeletion {
  Lines refused;
  Lines noted;
  int notRemoved = 0;
};

BackedUpDeletion DeleteWithBackup(const std::string& top, const std::string& backupFolder) {
  BackupEffects backup(LiveEffects::Instance());
  EngineTestContext test(backup);
  BackedUpDeletion done;
  backup.BeginRun(
      backupFolder, [&](const std::string& line) { done.refused.push_back(line); },
      [&](const std::string& line) { done.noted.push_back(line); });
  DeleteFolderTree(test.context, top);
  backup.EndRun();
  done.notRemoved = test.context.outcome.notRemoved;
  return done;
}

}  // namespace

// The whole tree goes with one rename of its top: no attribute is changed on the way (a walk
// resets a read-only file's first, which the journal would note), every file and folder has
// its line, children before their folder, and undo brings back every item exactly.
TEST(BackupWholeTree, AFreeTreeGoesWithOneRenameJournaledItemByItemAndUndoPutsEveryItemBack) {
  ScratchFolder scratch("whole");
  const std::string top = MakeProductTree(scratch);
  const auto before = TreeFacts(top);
  const BackedUpDeletion done = DeleteWithBackup(top, scratch / "Backup");
  EXPECT_EQ(done.notRemoved, 0);
  EXPECT_EQ(done.refused, Lines{});
  EXPECT_FALSE(AnyStartsWith(done.noted, kTreeItemByItemText)) << done.noted.back();
  EXPECT_FALSE(Exists(top));

  const std::string run = OneRunIn(scratch / "Backup");
  ASSERT_FALSE(run.empty());
  const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
  ASSERT_TRUE(journal.problems.empty());
  std::map<JournalKind, int> kinds;
  for (const JournalEntry& entry : journal.entries) {
    ++kinds[entry.kind];
    if (entry.kind != JournalKind::File) continue;
    // Each copy lies where the tree lay, below files\<drive>, with the size the journal holds.
    const std::string copy = run + "\\" + AnsiFromWide(entry.copy);
    EXPECT_EQ(ReadBytes(copy).size(), entry.size) << copy;
    EXPECT_NE(entry.security, L"") << copy;
  }
  EXPECT_EQ(kinds, (std::map<JournalKind, int>{{JournalKind::File, 3}, {JournalKind::Folder, 4}}));
  EXPECT_EQ(journal.entries.back().path, L"\\\\?\\" + WideFromAnsi(top)) << "the top comes after what it held";

  EngineTestContext undo;
  RunUndo(undo.context, run);
  EXPECT_EQ(undo.context.outcome.notRemoved, 0);
  EXPECT_EQ(TreeFacts(top), before);
}

// Each row stands for a tree that one rename cannot take as the walk would: a file a program
// holds open (Windows would refuse to rename its folder), a link inside, a file with a second
// name. The tree goes item by item as before, with a trace line naming why.
TEST(BackupWholeTree, ATreeThatIsNotAllFreeGoesItemByItem) {
  ScratchFolder outside("outside");
  WriteBytes(outside / "target\\victim.txt", "victim");
  const struct {
    const char* windowsCase;
    std::string item;  // below the tree's top
    std::function<std::function<void()>(const std::string& top)> make;  // answers what undoes it
  } cases[] = {
      {"a file a running program holds open", "Sub\\Deep\\large.dat",
       [](const std::string& top) {
         auto held = std::make_shared<HeldFile>(top + "\\Sub\\Deep\\large.dat");
         EXPECT_EQ(held->Answer(), "held");
         return [held]() mutable { held.reset(); };
       }},
      {"a junction inside the tree", "Link",
       [&outside](const std::string& top) {
         EXPECT_TRUE(MakeHostSymlink(outside / "target", top + "\\Link"));
         return [top] { RemoveHostSymlink(top + "\\Link"); };
       }},
      {"a file with a second name outside the tree", "product.dll",
       [&outside](const std::string& top) {
         EXPECT_TRUE(MakeHostHardLink(top + "\\product.dll", outside / "second.dll"));
         return [] {};
       }},
  };
  for (const auto& c : cases) {
    ScratchFolder scratch("partly");
    const std::string top = MakeProductTree(scratch);
    std::function<void()> release = c.make(top);
    const BackedUpDeletion done = DeleteWithBackup(top, scratch / "Backup");
    release();
    const std::string fallback = kTreeItemByItemText + top + " - " + c.item + ": ";
    EXPECT_TRUE(AnyStartsWith(done.noted, fallback)) << c.windowsCase << ": " << testing::PrintToString(done.noted);
    // Item by item: what could go went, each with its own move.
    EXPECT_FALSE(Exists(top + "\\Sub\\kept.ini")) << c.windowsCase;
    EXPECT_EQ(ReadBytes(outside / "target\\victim.txt"), "victim") << c.windowsCase;
  }
}

// Windows: something that could write into the run folder after it was checked (a program of
// an administrator, or a flaw elsewhere) puts a junction in files\ pointing at a folder of its
// choice: where the next copy's folder is to be made, or in place of a folder made for an
// earlier copy (on the way to the next one, where a check of the last level alone would pass
// it). The copy is not made there: the file stays, with its line, and the folder the link
// points to receives nothing.
TEST(BackupWholeTree, ALinkPlantedInsideTheRunFolderDoesNotRedirectACopy) {
  for (const bool inPlaceOfAMadeFolder : {false, true}) {
    ScratchFolder scratch("plant");
    const std::string first = scratch / "Product\\One\\first.dll";
    const std::string elsewhere = scratch / "Other\\other.dll";
    const std::string next = scratch / "Product\\Two\\next.dll";
    for (const std::string& file : {first, elsewhere, next}) WriteBytes(file, "bytes");
    MakeFolders(scratch / "Victim\\Two");
    BackupEffects backup(LiveEffects::Instance());
    Lines refused;
    backup.BeginRun(scratch / "Backup", [&](const std::string& line) { refused.push_back(line); }, nullptr);
    ASSERT_EQ(backup.RemoveFile(ExtendedPath(WideFromAnsi(first))), DWORD{ERROR_SUCCESS});
    ASSERT_EQ(backup.RemoveFile(ExtendedPath(WideFromAnsi(elsewhere))), DWORD{ERROR_SUCCESS});
    const std::string run = OneRunIn(scratch / "Backup");
    ASSERT_FALSE(run.empty());
    const std::string product = run + "\\files\\" + scratch.Path().substr(0, 1) + scratch.Path().substr(2) + "\\Product";
    ASSERT_TRUE(Exists(product + "\\One\\first.dll"));
    const std::string link = inPlaceOfAMadeFolder ? product : product + "\\Two";
    const std::string target = inPlaceOfAMadeFolder ? scratch / "Victim" : scratch / "Victim\\Two";
    if (inPlaceOfAMadeFolder) {
      ASSERT_TRUE(MoveFileA(product.c_str(), (product + "Away").c_str()));
    }
    ASSERT_TRUE(MakeHostSymlink(target, link));
    EXPECT_EQ(backup.RemoveFile(ExtendedPath(WideFromAnsi(next))), kBackupRefusedCode) << inPlaceOfAMadeFolder;
    backup.EndRun();
    RemoveHostSymlink(link);
    EXPECT_EQ(ReadBytes(next), "bytes") << inPlaceOfAMadeFolder;
    EXPECT_FALSE(Exists(scratch / "Victim\\Two\\next.dll")) << inPlaceOfAMadeFolder;
    EXPECT_TRUE(AnyStartsWith(refused, kBackupFailedText + next)) << testing::PrintToString(refused);
  }
}

// The reading of a tree, on its own: every item children first with what the journal keeps,
// and a tree with more entries than the lines held at once may be is left to the walk.
TEST(BackupWholeTree, ReadsEveryItemChildrenFirstUpToItsLimit) {
  ScratchFolder scratch("read");
  const std::string top = MakeProductTree(scratch);
  DWORD error = ERROR_SUCCESS;
  const UniqueFile opened = OpenAsItself(ExtendedPath(WideFromAnsi(top)), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                                                                 FILE_TRAVERSE | READ_CONTROL, error);
  ASSERT_TRUE(opened) << error;
  std::vector<TreeItem> items;
  ASSERT_EQ(ReadFreeTree(opened.Get(), {}, items), "");
  std::map<std::wstring, std::size_t> at;
  for (std::size_t index = 0; index < items.size(); ++index) at[items[index].relative] = index;
  ASSERT_EQ(at.size(), 7u);
  EXPECT_LT(at[L"Sub\\Deep\\large.dat"], at[L"Sub\\Deep"]);
  EXPECT_LT(at[L"Sub\\Deep"], at[L"Sub"]);
  EXPECT_EQ(at[L""], items.size() - 1);
  const TreeItem& large = items[at[L"Sub\\Deep\\large.dat"]];
  EXPECT_EQ(large.kept.size, 70000u);
  EXPECT_EQ(large.kept.sha256.size(), 64u);
  EXPECT_EQ(items[at[L"Sub\\kept.ini"]].kept.facts.attributes & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
  EXPECT_EQ(ReadFreeTree(opened.Get(), {}, items, 5), "more than 5 entries");
  EXPECT_TRUE(items.empty());
}

namespace {

// Acts once, just before the gateway below it is asked for its `at`th move through a handle:
// the moment between what the backup or undo checked and the move it then makes.
class RacingEffects : public ForwardingEffects {
 public:
  RacingEffects(Effects& inner, std::function<void()> race, int at = 1)
      : ForwardingEffects(inner), race_(std::move(race)), at_(at) {}
  DWORD MoveOpen(HANDLE opened, const std::wstring& path, HANDLE targetFolder, const std::wstring& targetName,
                 const std::wstring& target) override {
    if (++moves_ == at_ && race_) std::exchange(race_, nullptr)();
    return inner_.MoveOpen(opened, path, targetFolder, targetName, target);
  }

 private:
  std::function<void()> race_;
  int at_;
  int moves_ = 0;
};

// What undo tells the run's observer: the items it restored and the lines it listed, as the
// report counts them.
struct CountingObserver : RunObserver {
  void Listed(const std::string& line, bool) override { listed.push_back(line); }
  void ErrorShown(const std::string&) override {}
  void Restored(const std::string& what) override { restored.push_back(what); }
  std::vector<std::string> restored, listed;
};

}  // namespace

// Windows: a user's program told of the tree's read (a directory change notice, or the break
// of an oplock it holds on a file there) creates a file and a folder in it, and deletes a file
// read, after the read and before the rename; a folder's share mode does not stop it. What
// came in goes into the backup with the tree, is journaled and traced, and undo puts it back
// with the rest; what went is not looked for.
TEST(BackupWholeTree, WhatArrivesBetweenTheReadAndTheRenameIsJournaledAndUndone) {
  ScratchFolder scratch("arrive");
  const std::string top = MakeProductTree(scratch);
  RacingEffects racing(LiveEffects::Instance(), [&top] {
    WriteBytes(top + "\\arrived.txt", "late");
    WriteBytes(top + "\\New\\inner.txt", "later");
    EXPECT_TRUE(DeleteFileA((top + "\\product.dll").c_str()));
  });
  BackupEffects backup(racing);
  EngineTestContext test(backup);
  BackedUpDeletion done;
  backup.BeginRun(
      scratch / "Backup", [&](const std::string& line) { done.refused.push_back(line); },
      [&](const std::string& line) { done.noted.push_back(line); });
  DeleteFolderTree(test.context, top);
  backup.EndRun();
  EXPECT_EQ(test.context.outcome.notRemoved, 0);
  EXPECT_FALSE(Exists(top));
  EXPECT_FALSE(AnyStartsWith(done.noted, kTreeItemByItemText)) << testing::PrintToString(done.noted);
  for (const std::string& item : {top + "\\arrived.txt", top + "\\New\\inner.txt", top + "\\New"}) {
    EXPECT_TRUE(AnyStartsWith(done.noted, kTreeItemArrivedText + item)) << item << testing::PrintToString(done.noted);
  }
  EXPECT_TRUE(AnyStartsWith(done.noted, kTreeItemGoneText + top + "\\product.dll"));

  const std::string run = OneRunIn(scratch / "Backup");
  ASSERT_FALSE(run.empty());
  EngineTestContext undo;
  CountingObserver observer;
  undo.context.observer = &observer;
  RunUndo(undo.context, run);
  EXPECT_EQ(undo.context.outcome.notRemoved, 0) << testing::PrintToString(undo.reporter.infoLines);
  // The summary, the report's changes and the exit code come from the same items: the tree's
  // 4 folders, its 2 files still there and the 3 items that arrived; the file that went is
  // not looked for.
  EXPECT_EQ(observer.restored.size(), 9u) << testing::PrintToString(observer.restored);
  EXPECT_EQ(observer.listed, Lines{});
  EXPECT_EQ(undo.reporter.messages, Lines{std::string(kUndoCompleteText) + ": 9 restored, 0 not restored"});
  EXPECT_EQ(ReadBytes(top + "\\arrived.txt"), "late");
  EXPECT_EQ(ReadBytes(top + "\\New\\inner.txt"), "later");
  EXPECT_EQ(ReadBytes(top + "\\Sub\\Deep\\large.dat"), std::string(70000, 'c'));
  EXPECT_FALSE(Exists(top + "\\product.dll"));
}

// Windows: after the run, a copy in the backup is replaced by, or given, a second name of a
// file of Windows with the same bytes (a hard link to win.ini made by someone who could
// write there). Undo would move that file and set the journal's times, attributes and
// security on it; it refuses the copy instead, and the file elsewhere keeps its own.
TEST(BackupWholeTree, UndoRefusesACopyThatIsNotTheFileTheRunMovedThere) {
  for (const bool replaced : {true, false}) {
    ScratchFolder scratch("undo_link");
    const std::string file = scratch / "Product\\user.ini";
    WriteBytes(file, "same");
    WriteBytes(scratch / "Windows\\win.ini", "same");
    BackupEffects backup(LiveEffects::Instance());
    backup.BeginRun(scratch / "Backup", nullptr, nullptr);
    ASSERT_EQ(backup.RemoveFile(ExtendedPath(WideFromAnsi(file))), DWORD{ERROR_SUCCESS});
    backup.EndRun();
    const std::string run = OneRunIn(scratch / "Backup");
    ASSERT_FALSE(run.empty());
    const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
    ASSERT_EQ(journal.entries.size(), 1u);
    EXPECT_NE(journal.entries[0].fileId, 0u);
    EXPECT_EQ(journal.entries[0].links, 1u);
    const std::string copy = run + "\\" + AnsiFromWide(journal.entries[0].copy);
    if (replaced) {
      ASSERT_TRUE(DeleteFileA(copy.c_str()));
    }
    ASSERT_TRUE(replaced ? MakeHostHardLink(scratch / "Windows\\win.ini", copy)
                         : MakeHostHardLink(copy, scratch / "Windows\\other.ini"));
    const DWORD before = GetFileAttributesA((scratch / "Windows\\win.ini").c_str());

    EngineTestContext undo;
    RunUndo(undo.context, run);
    const std::string why = replaced ? "its copy is not the file the run moved there" : "its copy has another name now";
    EXPECT_EQ(undo.reporter.infoLines, std::vector<std::string>{kNotRestoredRefusedText + file + " - " + why});
    EXPECT_EQ(undo.context.outcome.notRemoved, 1);
    EXPECT_FALSE(Exists(file)) << replaced;
    EXPECT_EQ(GetFileAttributesA((scratch / "Windows\\win.ini").c_str()), before) << replaced;
    EXPECT_EQ(ReadBytes(scratch / "Windows\\win.ini"), "same");
  }
}

// Windows: once undo has made a folder again and put its first file back, a user's program
// told of it (a directory change notice) swaps the folder for a link to a folder of Windows.
// Undo holds every level of each file's place from the drive's root while it moves the file,
// so the swap fails at that moment; had it come between two files, the next file's levels,
// opened again, would meet the link and refuse it. Nothing goes into the other folder.
TEST(BackupWholeTree, UndoMovesNothingThroughAFolderSwappedAfterItsFirstFile) {
  ScratchFolder scratch("undo_swap");
  const std::string top = scratch / "Product";
  for (const char* name : {"a.dll", "b.dll", "c.dll"}) WriteBytes(top + "\\Sub\\" + name, name);
  MakeFolders(scratch / "System32");
  EXPECT_EQ(DeleteWithBackup(top, scratch / "Backup").notRemoved, 0);
  ASSERT_FALSE(Exists(top));
  const std::string run = OneRunIn(scratch / "Backup");
  ASSERT_FALSE(run.empty());

  bool swapped = false;
  RacingEffects racing(
      LiveEffects::Instance(),
      [&] {
        swapped = MoveFileA((top + "\\Sub").c_str(), (top + "\\Away").c_str()) &&
                  MakeHostSymlink(scratch / "System32", top + "\\Sub");
      },
      2);
  EngineTestContext undo(racing);
  RunUndo(undo.context, run);
  if (swapped) RemoveHostSymlink(top + "\\Sub");
  EXPECT_FALSE(swapped) << "a level undo holds cannot be renamed";
  EXPECT_EQ(ListTreeWide(L"\\\\?\\" + WideFromAnsi(scratch / "System32")), std::vector<std::wstring>{});
  for (const char* name : {"a.dll", "b.dll", "c.dll"}) EXPECT_EQ(ReadBytes(top + "\\Sub\\" + name), name);
  EXPECT_EQ(undo.context.outcome.notRemoved, 0) << testing::PrintToString(undo.reporter.infoLines);
}
