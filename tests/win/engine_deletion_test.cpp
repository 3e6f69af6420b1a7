#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/backup_journal.h"
#include "backup/undo.h"
#include "engine/gateway/recording_effects.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/path_links_win.h"
#include "engine/run/deletion.h"
#include "engine/run/restart_aside.h"
#include "platform/effects.h"
#include "platform/files/files_paths.h"
#include "platform/security/security_descriptor.h"
#include "platform/system_error.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/held_file.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/process_test_helpers.h"

namespace {

using Kind = RecordedAction::Kind;

std::vector<std::string> Targets(const RecordingEffects& effects, Kind kind) {
  std::vector<std::string> out;
  for (const auto& action : effects.actions) {
    if (action.kind == kind) out.push_back(action.target);
  }
  return out;
}

std::size_t IndexOf(const RecordingEffects& effects, Kind kind, const std::string& target) {
  for (std::size_t i = 0; i < effects.actions.size(); ++i) {
    if (effects.actions[i].kind == kind && effects.actions[i].target == target) return i;
  }
  return effects.actions.size();
}

// A tree of files and folders below root; returns the folders, deepest last.
std::vector<std::string> MakeSampleTree(const std::string& root) {
  WriteBytes(root + "\\a.txt", "a");
  WriteBytes(root + "\\A1\\b.txt", "b");
  WriteBytes(root + "\\A1\\A2\\c.txt", "c");
  WriteBytes(root + "\\A1\\A2\\A3\\d.txt", "d");
  WriteBytes(root + "\\B1\\e.txt", "e");
  MakeFolders(root + "\\B1\\Empty");
  return {root, root + "\\A1", root + "\\B1", root + "\\A1\\A2", root + "\\B1\\Empty", root + "\\A1\\A2\\A3"};
}

// The live gateway, noting the deepest point of the stack from which a file removal is asked.
struct StackNotingEffects : LiveEffects {
  std::uintptr_t lowest = UINTPTR_MAX;
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    const int here = 0;
    lowest = std::min(lowest, reinterpret_cast<std::uintptr_t>(&here));
    return LiveEffects::RemoveChild(parent, name, path, folder, plainFirst);
  }
};

}  // namespace

TEST(FolderTreeDeletion, ReadOnlyHiddenSystemFileInsideTheTreeIsDeleted) {
  ScratchFolder scratch("del_ro");
  const std::string tree = scratch / "Velmora";
  const std::string file = tree + "\\sub\\guarded.dat";
  WriteBytes(file, "data");
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM));
  // Wine refuses to delete a read-only file, so this fails unless the attributes are reset.
  ASSERT_FALSE(DeleteFileA(file.c_str()));

  EngineTestContext test;
  DeleteFolderTree(test.context, tree);

  EXPECT_FALSE(Exists(file));
  EXPECT_FALSE(Exists(tree));
  EXPECT_TRUE(test.reporter.infoLines.empty());
}

TEST(FolderTreeDeletion, AttributesAreResetOnlyWhenNotPlain) {
  ScratchFolder scratch("del_attr");
  const std::string plain = scratch / "T\\plain.txt";
  const std::string hidden = scratch / "T\\hidden.txt";
  WriteBytes(plain, "p");
  WriteBytes(hidden, "h");
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  RecordingEffects effects;
  EngineTestContext test(effects);
  DeleteFolderTree(test.context, scratch / "T");

  EXPECT_EQ(Targets(effects, Kind::SetAttributes), std::vector<std::string>{hidden});
  EXPECT_EQ(effects.actions[IndexOf(effects, Kind::SetAttributes, hidden)].detail, "32");
  EXPECT_LT(IndexOf(effects, Kind::SetAttributes, hidden), IndexOf(effects, Kind::RemoveFile, hidden));
  auto removed = Targets(effects, Kind::RemoveFile);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{hidden, plain}));
}

// A product folder holding a hard link to a file elsewhere (drivers\etc\hosts, say): the
// attributes belong to the file, which every name shares. Deleting the product's name changes
// nothing the other name shows: a hidden or system name goes as it is, and a read-only one,
// which cannot go without clearing the flag for both names, stays with a line (exit code 1).
TEST(Deletion, ANameOfAFileWithOtherNamesGoesWithoutChangingTheirAttributes) {
  const struct {
    DWORD attributes;
    bool tree;          // inside a folder entry, else a file entry of its own
    bool nameGoes;
  } cases[] = {
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true, true},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, false, true},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true, false},
      {FILE_ATTRIBUTE_READONLY, false, false},
  };
  for (const auto& c : cases) {
    ScratchFolder scratch("del_links");
    const std::string other = scratch / "etc\\hosts", tree = scratch / "Velmora", name = tree + "\\hosts";
    WriteBytes(other, "127.0.0.1 localhost");
    MakeFolders(tree);
    ASSERT_TRUE(CreateHardLinkA(name.c_str(), other.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(SetFileAttributesA(other.c_str(), c.attributes));
    const DWORD before = GetFileAttributesA(other.c_str());
    ASSERT_EQ(GetFileAttributesA(name.c_str()), before) << "the names share the attributes";
    EngineTestContext test;
    c.tree ? DeleteFolderTree(test.context, tree) : DeleteSingleFile(test.context, name);
    const std::string label = std::to_string(c.attributes) + (c.tree ? " tree" : " file");
    EXPECT_EQ(GetFileAttributesA(other.c_str()), before) << label;
    EXPECT_EQ(ReadBytes(other), "127.0.0.1 localhost") << label;
    EXPECT_EQ(Exists(name), !c.nameGoes) << label;
    if (c.nameGoes) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{}) << label;
    } else {
      ASSERT_FALSE(test.reporter.infoLines.empty()) << label;
      EXPECT_EQ(test.reporter.infoLines[0], kSharedReadOnlyText + name) << label;
      EXPECT_EQ(test.context.outcome.ExitCode(), 1) << label;
    }
    SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(FolderTreeDeletion, NestedFoldersAreEmptiedAndRemovedBottomUp) {
  ScratchFolder scratch("del_nest");
  const std::string tree = scratch / "Tree";
  const auto folders = MakeSampleTree(tree);

  RecordingEffects effects;
  EngineTestContext recorded(effects);
  DeleteFolderTree(recorded.context, tree);
  auto removedFolders = Targets(effects, Kind::RemoveFolder);
  auto expectedFolders = folders;
  std::sort(removedFolders.begin(), removedFolders.end());
  std::sort(expectedFolders.begin(), expectedFolders.end());
  EXPECT_EQ(removedFolders, expectedFolders);
  EXPECT_EQ(Targets(effects, Kind::RemoveFile).size(), 5u);
  EXPECT_EQ(effects.actions.back().target, tree);
  // Every folder is removed after everything inside it.
  for (const auto& folder : folders) {
    const std::size_t folderIndex = IndexOf(effects, Kind::RemoveFolder, folder);
    for (std::size_t i = 0; i < effects.actions.size(); ++i) {
      if (effects.actions[i].target.rfind(folder + "\\", 0) == 0) {
        EXPECT_LT(i, folderIndex) << effects.actions[i].target << " after " << folder;
      }
    }
  }

  EngineTestContext live;
  DeleteFolderTree(live.context, tree);
  EXPECT_FALSE(Exists(tree));
  EXPECT_TRUE(Exists(scratch.Path()));
  EXPECT_TRUE(live.reporter.infoLines.empty());
}

// A \\?\ path holds some 16,000 one-letter levels (Wine's about 2,000, each call there costing
// it a walk up the whole path). A walk that recursed once per folder was some 236 KB deeper in
// the stack when it reached the file at the bottom of these 300; this one, some 400 bytes.
TEST(FolderTreeDeletion, AChainHundredsDeepGoesWholeWithoutGoingDeeperInTheStack) {
  ScratchFolder scratch("del_deep");
  const std::string tree = scratch / "Deep";
  MakeAwkwardTree(tree, {"chain", std::vector<std::wstring>(300, L"d"), L"f.txt"});
  WriteBytes(scratch / "canary.txt", "keep");
  StackNotingEffects effects;
  EngineTestContext test(effects);

  const int start = 0;
  DeleteFolderTree(test.context, tree);

  EXPECT_LT(reinterpret_cast<std::uintptr_t>(&start) - effects.lowest, 16u * 1024u);
  EXPECT_FALSE(Exists(tree));
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_EQ(ReadBytes(scratch / "canary.txt"), "keep");
}

TEST(FolderTreeDeletion, TrailingBackslashAndNoneDeleteTheSameTree) {
  ScratchFolder scratch("del_slash");
  const std::string tree = scratch / "Tree";
  MakeSampleTree(tree);

  RecordingEffects withoutSlash;
  RecordingEffects withSlash;
  EngineTestContext first(withoutSlash);
  EngineTestContext second(withSlash);
  DeleteFolderTree(first.context, tree);
  DeleteFolderTree(second.context, tree + "\\");
  ASSERT_EQ(withoutSlash.actions.size(), withSlash.actions.size());
  for (std::size_t i = 0; i < withSlash.actions.size(); ++i) {
    EXPECT_EQ(withoutSlash.actions[i].kind, withSlash.actions[i].kind);
    EXPECT_EQ(withoutSlash.actions[i].target, withSlash.actions[i].target);
  }

  for (const std::string& suffix : std::vector<std::string>{"", "\\"}) {
    const std::string other = scratch / ("Live" + std::to_string(suffix.size()));
    MakeSampleTree(other);
    EngineTestContext live;
    DeleteFolderTree(live.context, other + suffix);
    EXPECT_FALSE(Exists(other)) << "suffix [" << suffix << "]";
  }
}

TEST(FolderTreeDeletion, AFileHeldOpenElsewhereIsListedOnceAndItsFoldersStay) {
  ScratchFolder scratch("del_held");
  const std::string tree = scratch / "Tree";
  const std::string held = tree + "\\Sub\\held.dat";
  WriteBytes(held, "busy");
  WriteBytes(tree + "\\Sub\\free.dat", "free");
  WriteBytes(tree + "\\Other\\free.dat", "free");
  HeldFile holder(held);
  ASSERT_EQ(holder.Answer(), "held");

  EngineTestContext test;
  DeleteFolderTree(test.context, tree);

  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Could NOT delete   " + held});
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Exists(tree + "\\Sub"));
  EXPECT_TRUE(Exists(tree));
  EXPECT_FALSE(Exists(tree + "\\Sub\\free.dat"));
  EXPECT_FALSE(Exists(tree + "\\Other"));
}

TEST(FolderTreeDeletion, AMissingFolderOrAFileDeletesNothingAndReportsNothing) {
  ScratchFolder scratch("del_missing");
  WriteBytes(scratch / "file.txt", "f");
  EngineTestContext test;
  DeleteFolderTree(test.context, scratch / "NotThere");
  DeleteFolderTree(test.context, scratch / "file.txt");
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_EQ(ReadBytes(scratch / "file.txt"), "f");
}

TEST(FolderTreeDeletion, EmptyEntriesDeleteNothing) {
  RecordingEffects effects;
  EngineTestContext test(effects);
  DeleteFolderTree(test.context, "");
  DeleteSingleFile(test.context, "");
  EXPECT_TRUE(effects.actions.empty());
  EXPECT_TRUE(test.reporter.infoLines.empty());
}

TEST(SingleFileDeletion, ReadOnlyFileIsDeletedMissingFileAndFolderArePassedOver) {
  ScratchFolder scratch("file_del");
  const std::string file = scratch / "locked.lnk";
  WriteBytes(file, "x");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const std::string folder = scratch / "Folder";
  WriteBytes(folder + "\\inside.txt", "i");

  EngineTestContext test;
  DeleteSingleFile(test.context, file);
  EXPECT_FALSE(Exists(file));

  RecordingEffects effects;
  EngineTestContext recorded(effects);
  DeleteSingleFile(recorded.context, folder);
  DeleteSingleFile(recorded.context, folder + "\\");
  DeleteSingleFile(recorded.context, scratch / "missing.txt");
  EXPECT_TRUE(effects.actions.empty());
  DeleteSingleFile(test.context, folder);
  EXPECT_TRUE(Exists(folder + "\\inside.txt"));
  EXPECT_TRUE(test.reporter.infoLines.empty());
  EXPECT_TRUE(recorded.reporter.infoLines.empty());
}

TEST(SingleFileDeletion, AFileHeldOpenElsewhereIsListedWithOneBlank) {
  ScratchFolder scratch("file_held");
  const std::string file = scratch / "held.lnk";
  WriteBytes(file, "x");
  HeldFile holder(file);
  ASSERT_EQ(holder.Answer(), "held");
  EngineTestContext test;
  DeleteSingleFile(test.context, file);
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Could NOT delete " + file});
  EXPECT_TRUE(Exists(file));
}

// Folder removals the system refuses, answered by the gateway, as on Windows: a folder
// whose ACL denies deletion (5), another process's current folder (32), a read-only folder
// (5 until its flag is cleared; Wine keeps no such flag on folders). Gone already (2, 3)
// is no failure.
class RefusingFolderRemoval : public LiveEffects {
 public:
  RefusingFolderRemoval(DWORD error, bool readOnly) : error_(error), readOnly_(readOnly) {}
  // A read-only folder yields once its flag is cleared (plainFirst).
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    if (!folder || (readOnly_ && plainFirst)) return LiveEffects::RemoveChild(parent, name, path, folder, plainFirst);
    return error_;
  }

 private:
  DWORD error_;
  bool readOnly_;
};

TEST(FolderTreeDeletion, AFolderTheSystemKeepsIsListedWithItsReason) {
  const struct {
    DWORD error;
    bool readOnly, listed;
  } cases[] = {{ERROR_ACCESS_DENIED, false, true},   {ERROR_SHARING_VIOLATION, false, true},
               {ERROR_ACCESS_DENIED, true, false},   {ERROR_FILE_NOT_FOUND, false, false},
               {ERROR_PATH_NOT_FOUND, false, false}};
  for (const auto& c : cases) {
    ScratchFolder scratch("del_fail");
    const std::string tree = scratch / "Tree";
    WriteBytes(tree + "\\Sub\\file.dat", "x");
    RefusingFolderRemoval effects(c.error, c.readOnly);
    EngineTestContext test(effects);
    DeleteFolderTree(test.context, tree);
    const std::vector<std::string> line = {"Could NOT delete folder " + tree + "\\Sub - " + SystemErrorText(c.error)};
    EXPECT_EQ(test.reporter.infoLines, c.listed ? line : std::vector<std::string>{}) << c.error;
    EXPECT_EQ(test.context.outcome.ExitCode(), c.listed ? 1 : 0) << c.error;
    EXPECT_FALSE(Exists(tree + "\\Sub\\file.dat")) << c.error;
    EXPECT_EQ(Exists(tree), !c.readOnly) << c.error;
  }
}

// A relative entry would be taken from whatever the current folder is; the NT, device and
// share forms and dotted or doubled names would be read one way by the guard, another by
// Windows.
TEST(Deletion, EntriesThatAreNotPlainDrivePathsAreRefusedAndNothingIsTouched) {
  for (const std::string entry :
       {"Velmora", "..\\Velmora", "C:Velmora", "\\Velmora", "\\\\.\\C:\\Velmora", "\\??\\C:\\users\\Public\\Desktop",
        "\\??\\C:\\", "\\\\localhost\\c$\\windows", "\\\\?\\UNC\\localhost\\c$\\windows", "\\\\?\\C:\\Velmora",
        "C:/Velmora", "C:\\\\Velmora", "C:\\Velmora\\.\\x", "C:\\Velmora\\x\\..", "C:\\Velmora.", "C:\\Velmora\\CON"}) {
    RecordingEffects effects;
    EngineTestContext test(effects);
    DeleteFolderTree(test.context, entry);
    DeleteSingleFile(test.context, entry);
    EXPECT_TRUE(effects.actions.empty()) << entry;
    const std::string line = kNotPlainPathText + entry + " - " + PlainPathProblem(entry);
    EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>(2, line)) << entry;
    EXPECT_EQ(test.context.outcome.ExitCode(), 1) << entry;
  }
}

class LinkDeletion : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) GTEST_SKIP() << "host symbolic links are made through Wine; not under Wine";
  }
  void TearDown() override {
    for (const auto& link : links_) RemoveHostSymlink(link);
  }
  void Link(const std::string& target, const std::string& link) {
    ASSERT_TRUE(MakeHostSymlink(target, link)) << link;
    links_.push_back(link);
  }

 protected:
  std::vector<std::string> links_;
};

// A normal user made a folder on the way a link (Velmora Lab to System32, where a rule names
// Velmora Lab\drivers): what the link points to is never reached, by a folder entry or a file
// entry, and the line names the link; exit code 1.
TEST_F(LinkDeletion, ALinkOnTheWayToWhatARuleNamesIsRefusedAndWhatItPointsToStays) {
  ScratchFolder scratch("link_way");
  const std::string victim = scratch / "System32", lab = scratch / "Velmora Lab";
  WriteBytes(victim + "\\drivers\\disk.sys", "driver");
  WriteBytes(victim + "\\drivers\\etc\\hosts", "hosts");
  Link(victim, lab);
  const struct {
    void (*action)(CleanerContext&, const std::string&);
    std::string entry;
  } cases[] = {
      {DeleteFolderTree, lab + "\\drivers"},
      {DeleteFolderTree, lab + "\\drivers\\etc\\"},
      {DeleteSingleFile, lab + "\\drivers\\disk.sys"},
  };
  for (const auto& c : cases) {
    EngineTestContext test;
    c.action(test.context, c.entry);
    EXPECT_EQ(ReadBytes(victim + "\\drivers\\disk.sys"), "driver") << c.entry;
    EXPECT_EQ(ReadBytes(victim + "\\drivers\\etc\\hosts"), "hosts") << c.entry;
    const std::string shown = c.entry.ends_with('\\') ? c.entry.substr(0, c.entry.size() - 1) : c.entry;
    EXPECT_EQ(test.reporter.infoLines,
              std::vector<std::string>{kRefusedLinkOnTheWayText + shown + " - " + lab + " is a link"});
    EXPECT_EQ(test.context.outcome.ExitCode(), 1) << c.entry;
  }
  // The same path without the link on the way is carried out.
  EngineTestContext test;
  DeleteFolderTree(test.context, victim + "\\drivers\\etc");
  EXPECT_FALSE(Exists(victim + "\\drivers\\etc\\hosts"));
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{});
}

namespace {

// The live gateway that, at the first deletion it is asked for, tries to rename `folder` aside
// and make a host link to `victim` in its place: what a normal user does on Windows with a
// junction in a folder of their own (ProgramData\\Velmora Lab made a link to System32) between
// the guards' check and the deletion.
class SwapOnFirstChange : public LiveEffects {
 public:
  SwapOnFirstChange(std::string folder, std::string victim, std::string aside)
      : folder_(std::move(folder)), victim_(std::move(victim)), aside_(std::move(aside)) {}
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    if (!tried_) {
      tried_ = true;
      renamed = MoveFileA(folder_.c_str(), aside_.c_str()) != FALSE;
      renameError = renamed ? ERROR_SUCCESS : GetLastError();
      if (renamed) linked = MakeHostSymlink(victim_, folder_);
    }
    return LiveEffects::RemoveChild(parent, name, path, folder, plainFirst);
  }
  bool renamed = false, linked = false;
  DWORD renameError = ERROR_SUCCESS;

 private:
  std::string folder_, victim_, aside_;
  bool tried_ = false;
};

std::size_t EntriesIn(const std::string& folder) {
  std::size_t count = 0;
  WIN32_FIND_DATAA found{};
  const UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return 0;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") ++count;
  } while (FindNextFileA(find.Get(), &found));
  return count;
}

}  // namespace

// The race: Velmora Lab is a plain folder when the rule's path is checked, and its user tries
// to make it a link to System32 while the deletion runs. Every level on the way was opened
// without following links and is held without delete sharing until the deletion is done: the
// rename that would make room for the link is refused (a sharing violation, on Windows as
// here), System32's drivers keep all 18 entries, and the product's own drivers folder goes.
TEST_F(LinkDeletion, ALinkCannotBeMadeOnTheWayWhileTheDeletionRuns) {
  ScratchFolder scratch("link_race");
  const std::string victim = scratch / "System32", lab = scratch / "Velmora Lab", aside = scratch / "aside";
  for (int i = 0; i < 18; ++i) WriteBytes(victim + "\\drivers\\d" + std::to_string(i) + ".sys", "driver");
  for (int i = 0; i < 3; ++i) WriteBytes(lab + "\\drivers\\qrv" + std::to_string(i) + ".sys", "product");
  SwapOnFirstChange effects(lab, victim, aside);
  EngineTestContext test(effects);
  DeleteFolderTree(test.context, lab + "\\drivers");
  if (effects.linked) links_.push_back(lab);
  EXPECT_FALSE(effects.renamed) << "a level on the way could be renamed during the deletion";
  EXPECT_EQ(effects.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(EntriesIn(victim + "\\drivers"), 18u);
  EXPECT_FALSE(Exists(lab + "\\drivers"));
  EXPECT_TRUE(Exists(lab));
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{});
  // Once the deletion is done, nothing holds the folder any more.
  EXPECT_TRUE(MoveFileA(lab.c_str(), aside.c_str()));
}

// Wine lists a host link to a folder as a link but opens and removes its target under the
// link's name (an empty target would go); a link to a file it does not show as a link at all.
TEST_F(LinkDeletion, AFolderLinkInsideTheTreeIsNotFollowedAndItsTargetStaysIntact) {
  ScratchFolder scratch("link_in");
  const std::string target = scratch / "Target";
  WriteBytes(target + "\\keep.txt", "keep");
  WriteBytes(target + "\\Sub\\keep2.txt", "keep2");
  SetFileAttributesA((target + "\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string emptyTarget = scratch / "EmptyTarget";
  MakeFolders(emptyTarget);
  const std::string tree = scratch / "Tree";
  WriteBytes(tree + "\\own.txt", "own");
  MakeFolders(tree + "\\Inner");
  const std::string folderLink = tree + "\\Inner\\folder_link";
  const std::string emptyLink = tree + "\\empty_link";
  Link(target, folderLink);
  Link(emptyTarget, emptyLink);
  for (const auto& link : {folderLink, emptyLink}) {
    ASSERT_EQ(AttributesOf(link) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  }

  EngineTestContext test;
  DeleteFolderTree(test.context, tree);

  EXPECT_EQ(ReadBytes(target + "\\keep.txt"), "keep");
  EXPECT_EQ(AttributesOf(target + "\\keep.txt") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(ReadBytes(target + "\\Sub\\keep2.txt"), "keep2");
  EXPECT_TRUE(Exists(emptyTarget));
  EXPECT_FALSE(Exists(tree + "\\own.txt"));
  // Where the platform cannot remove a link on its own it stays, listed once.
  std::vector<std::string> expected;
  for (const auto& link : {emptyLink, folderLink}) {
    if (Exists(link)) expected.push_back("Could NOT delete   " + link);
  }
  auto listed = test.reporter.infoLines;
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
  if (RunningUnderWine()) {
    EXPECT_EQ(expected.size(), 2u);
  }
}

TEST_F(LinkDeletion, ALinkNamedAsTheTreeIsRemovedAsALinkNotEmptied) {
  ScratchFolder scratch("link_top");
  const std::string target = scratch / "Target";
  WriteBytes(target + "\\keep.txt", "keep");
  WriteBytes(target + "\\Sub\\keep2.txt", "keep2");
  const std::string emptyTarget = scratch / "EmptyTarget";
  MakeFolders(emptyTarget);
  const std::string link = scratch / "Link";
  const std::string emptyLink = scratch / "EmptyLink";
  Link(target, link);
  Link(emptyTarget, emptyLink);

  for (const auto& entry : {link, link + "\\", emptyLink}) {
    EngineTestContext test;
    DeleteFolderTree(test.context, entry);
    const std::string named = entry.back() == '\\' ? entry.substr(0, entry.size() - 1) : entry;
    if (Exists(named)) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Could NOT delete   " + named});
    }
  }
  EXPECT_EQ(ReadBytes(target + "\\keep.txt"), "keep");
  EXPECT_EQ(ReadBytes(target + "\\Sub\\keep2.txt"), "keep2");
  EXPECT_TRUE(Exists(emptyTarget));
}

// Windows' answers through the gateway: a file another program holds open without delete
// sharing (32: neither deleted nor moved), one deleted already and still open (303, which the
// live gateway makes of access denied with STATUS_DELETE_PENDING), a running program or loaded
// library (STATUS_CANNOT_DELETE: in use, yet it may be renamed), one whose ACL denies deletion
// (5, not in use). Scheduling answers 5 where the user may not write the pending operations.
class InUseEffects : public RecordingEffects {
 public:
  InUseEffects(std::map<std::wstring, DWORD> answers, DWORD scheduling, DWORD moving = ERROR_SHARING_VIOLATION)
      : answers_(answers), scheduling_(scheduling), moving_(moving) {}
  DWORD RemoveFile(const std::wstring& path) override {
    (void)RecordingEffects::RemoveFile(path);
    const auto found = answers_.find(path.substr(path.rfind(L'\\') + 1));
    return found == answers_.end() ? ERROR_SUCCESS : found->second;
  }
  DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) override {
    (void)RecordingEffects::MoveFileTo(from, to, allowCopy);
    return moving_;
  }
  DWORD DeleteAtRestart(const std::wstring& path) override {
    (void)RecordingEffects::DeleteAtRestart(path);
    return scheduling_;
  }

 private:
  std::map<std::wstring, DWORD> answers_;
  DWORD scheduling_;
  DWORD moving_;
};

// The names the pending folder of the run gives, as the recorded moves show them.
std::string PendingRun(const RecordingEffects& effects) {
  for (const auto& action : effects.actions) {
    if (action.kind == Kind::MoveItem) return action.detail.substr(0, action.detail.rfind('\\'));
  }
  return "(nothing moved)";
}

TEST(DeletionAtRestart, WhatIsInUseIsMovedAsideOrScheduledByItsPathAndTheFoldersItKeptAfterIt) {
  ScratchFolder scratch("restart");
  const std::string tree = scratch / "Tree", held = tree + "\\Sub\\held.dat", single = scratch / "single.dat";
  const std::string acl = tree + "\\Other\\acl.dat", later = "Will be deleted at restart: ";
  for (const std::string& file : {held, acl, single, tree + "\\Sub\\free.dat"}) WriteBytes(file, "x");
  const std::string denied = "Could NOT schedule deletion at restart: ", reason = " - " + SystemErrorText(5);
  const std::string byPath = kByPathText + SystemErrorText(32);
  const std::string top = "C:\\VelmoraCleaner.pending", run = "<run>";
  constexpr DWORD kMapped = ERROR_USER_MAPPED_FILE;
  const struct {
    bool restartOn;
    DWORD error, aclError, scheduling, moving;
    std::vector<std::string> lines;
    std::vector<std::string> scheduled;  // <run>: the run's pending folder
    int exitCode;
  } cases[] = {
      // Moved aside: its folder is empty at once and goes now; the pending folders after it.
      {true, kMapped, 0, 0, 0, {later + held, later + single}, {run + "\\1 held.dat", run + "\\2 single.dat", run, run, top, top}, 3010},
      {true, 32, 0, 0, 0, {later + held, later + single}, {run + "\\1 held.dat", run + "\\2 single.dat", run, run, top, top}, 3010},
      {true, kMapped, 5, 0, 0, {later + held, "Could NOT delete   " + acl, later + single}, {run + "\\1 held.dat", run + "\\2 single.dat", run, run, top, top}, 1},
      // Not moved (held without delete sharing): by its own path, the line says why, and the
      // folders that kept it after it.
      {true, 32, 0, 0, 32, {later + held + byPath, later + tree + "\\Sub", later + tree, later + single + byPath}, {held, tree + "\\Sub", tree, single}, 3010},
      {true, 303, 0, 0, 32, {later + held + byPath, later + tree + "\\Sub", later + tree, later + single + byPath}, {held, tree + "\\Sub", tree, single}, 3010},
      {true, 32, 5, 0, 32, {later + held + byPath, later + tree + "\\Sub", "Could NOT delete   " + acl, later + single + byPath}, {held, tree + "\\Sub", single}, 1},
      {false, 32, 0, 0, 0, {"Could NOT delete   " + held, "Could NOT delete " + single}, {}, 1},
      {true, 5, 0, 0, 0, {"Could NOT delete   " + held, "Could NOT delete " + single}, {}, 1},
      {true, 32, 0, 5, 32, {denied + held + reason, denied + single + reason}, {held, single}, 1},
      // Moved, then refused: the line names where it went; the pending folders are refused too.
      {true, kMapped, 0, 5, 0,
       {denied + held + " - " + kMovedToText + run + "\\1 held.dat: " + SystemErrorText(5),
        denied + single + " - " + kMovedToText + run + "\\2 single.dat: " + SystemErrorText(5), denied + run + reason,
        denied + run + reason, denied + top + reason, denied + top + reason},
       {run + "\\1 held.dat", run + "\\2 single.dat", run, run, top, top}, 1},
  };
  for (const auto& c : cases) {
    InUseEffects effects({{L"held.dat", c.error}, {L"single.dat", c.error}, {L"acl.dat", c.aclError}}, c.scheduling, c.moving);
    EngineTestContext test(effects);
    test.state.DeleteAtRestart = c.restartOn;
    DeleteFolderTree(test.context, tree);
    DeleteSingleFile(test.context, single);
    const std::string pending = PendingRun(effects);
    const auto named = [&pending, &run](std::vector<std::string> texts) {
      for (std::string& text : texts) {
        if (const std::size_t at = text.find(run); at != std::string::npos) text.replace(at, run.size(), pending);
      }
      std::sort(texts.begin(), texts.end());
      return texts;
    };
    std::vector<std::string> targets = Targets(effects, Kind::DeleteAtRestart), lines = test.reporter.infoLines;
    // A folder is scheduled after everything it held; siblings come in the file system's order.
    if (std::ranges::count(targets, tree) > 0) {
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, held), IndexOf(effects, Kind::DeleteAtRestart, tree + "\\Sub"));
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, tree + "\\Sub"), IndexOf(effects, Kind::DeleteAtRestart, tree));
    }
    if (c.moving == ERROR_SUCCESS && !c.scheduled.empty()) {
      EXPECT_TRUE(pending.starts_with(top + "\\")) << pending;
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, pending + "\\1 held.dat"), IndexOf(effects, Kind::DeleteAtRestart, pending));
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, pending), IndexOf(effects, Kind::DeleteAtRestart, top));
      EXPECT_EQ(IndexOf(effects, Kind::DeleteAtRestart, tree), effects.actions.size()) << "the emptied folder goes now";
    }
    if (c.moving != ERROR_SUCCESS) {
      // Pending folders made for files that then could not be moved are taken away again.
      const std::vector<std::string> removed = Targets(effects, Kind::RemoveFolder), made = Targets(effects, Kind::CreateFolder);
      EXPECT_FALSE(made.empty());
      for (const std::string& folder : made) EXPECT_EQ(std::ranges::count(removed, folder), std::ranges::count(made, folder)) << folder;
    }
    for (auto* list : {&targets, &lines}) std::sort(list->begin(), list->end());
    EXPECT_EQ(targets, named(c.scheduled)) << c.error << " " << c.aclError << " " << c.moving;
    EXPECT_EQ(lines, named(c.lines)) << c.error << " " << c.aclError << " " << c.moving;
    EXPECT_EQ(test.context.outcome.ExitCode(), c.exitCode) << c.error << " " << c.aclError << " " << c.moving;
  }
}

namespace {

// Windows' own descriptors for the folders on a path (Wine keeps none): each level named in
// `levels` has its own, the drive's root the one Windows gives C:\, every other level that of a
// folder a deployment script made private.
class DescriptorsOfLevels : public RestartPathSecurity {
 public:
  explicit DescriptorsOfLevels(std::map<std::string, std::wstring> levels) : levels_(std::move(levels)) {}
  std::wstring SecurityOf(const std::wstring& folder) override {
    const std::string shown = AnsiFromWide(OrdinaryPath(folder));
    for (const auto& [level, sddl] : levels_) {
      if (_stricmp(level.c_str(), shown.c_str()) == 0) return sddl;
    }
    if (shown.size() == 3) return kRoot;
    return L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  }
  bool KeepsOwners() override { return true; }

  static constexpr wchar_t kRoot[] =
      L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464G:SYD:PAI(A;;LC;;;AU)"
      L"(A;OICIIO;SDGXGWGR;;;AU)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

 private:
  std::map<std::string, std::wstring> levels_;
};

}  // namespace

// Windows: a file in use that cannot be moved into the pending folder (held without delete
// sharing) is scheduled by its path only where no folder on the way can be swapped for a link
// before the restart: no level that anyone but administrators and SYSTEM may delete, rename,
// re-own or re-permission, or whose entries they may (adding entries to a level cannot touch
// one already there). Where a user could (a folder made under C:\ that every signed-in user
// may modify, a root that lets everyone delete), the request is not made: a line, exit code
// 1, never 3010.
TEST(DeletionAtRestart, ByItsPathOnlyWhereNoFolderOnTheWayCanBeSwapped) {
  ScratchFolder scratch("restart_path");
  const std::string folder = scratch / "Product", single = folder + "\\single.dat";
  WriteBytes(single, "x");
  const std::string root = scratch.Path().substr(0, 3);
  const std::string refused = std::string(kRestartNotScheduledText) + single + " - " + kPathNotSafeText;
  const struct {
    const char* windowsCase;
    std::map<std::string, std::wstring> levels;
    std::string line;  // the start of the one line
    int exitCode;
  } cases[] = {
      {"every level private to the administrators", {}, std::string(kDeletedAtRestartText) + single + kByPathText, 3010},
      {"a folder an elevated administrator made under C:\\, every signed-in user with Modify",
       {{folder, L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIID;0x1301bf;;;AU)"}},
       refused + folder + ": ", 1},
      // Users may add files and folders to ProgramData, which cannot touch the product's own
      // folder already in it: neither rename nor delete it, so nothing on the way can be swapped.
      {"the product's folder under ProgramData, where users may add files and folders",
       {{scratch.Path(), L"O:SYG:SYD:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CI;DCLCRPCR;;;BU)"}},
       std::string(kDeletedAtRestartText) + single + kByPathText, 3010},
      {"a drive's root that lets everyone delete", {{root, L"O:BAD:PAI(A;OICI;FA;;;WD)"}}, refused + root + ": ", 1},
  };
  for (const auto& c : cases) {
    InUseEffects effects({{L"single.dat", ERROR_SHARING_VIOLATION}}, ERROR_SUCCESS, ERROR_SHARING_VIOLATION);
    DescriptorsOfLevels descriptors(c.levels);
    EngineTestContext test(effects);
    test.state.DeleteAtRestart = true;
    test.context.restartPathSecurity = &descriptors;
    DeleteSingleFile(test.context, single);
    ASSERT_EQ(test.reporter.infoLines.size(), 1u) << c.windowsCase;
    EXPECT_TRUE(test.reporter.infoLines[0].starts_with(c.line)) << c.windowsCase << ": " << test.reporter.infoLines[0];
    EXPECT_EQ(Targets(effects, Kind::DeleteAtRestart).size(), c.exitCode == 3010 ? 1u : 0u) << c.windowsCase;
    EXPECT_EQ(test.context.outcome.ExitCode(), c.exitCode) << c.windowsCase;
  }
}

namespace {

// The pending operations the system will carry out after `before`, as "\??\..." names.
std::vector<std::string> NewPendingOperations(const std::vector<std::string>& before) {
  std::vector<std::string> now = PendingFileOperations();
  now.erase(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(std::min(before.size(), now.size())));
  return now;
}

const std::string kPendingTop = "C:\\VelmoraCleaner.pending";

}  // namespace

// A running program: Windows refuses to delete its file (its image is mapped, opened with
// delete sharing: STATUS_CANNOT_DELETE) but lets it be renamed, and Wine does the same. With
// /R it is moved into the cleaner's own pending folder on its volume, made for administrators
// only, and scheduled there, then that folder and the one above it: nothing done to the
// tree's folders after the run can send the deletion elsewhere, and the folder it left, empty
// at once, goes now. A dry run of the same changes nothing.
TEST(DeletionAtRestart, ARunningProgramIsMovedIntoThePendingFolderAndScheduledThere) {
  ScratchFolder scratch("restart_aside");
  const std::string tree = scratch / "Velmora";
  MakeFolders(tree + "\\bin");
  const std::string exe = process_tests::CopySleeperAs(tree + "\\bin", "ZdnM.exe");
  const PendingOperationsKept kept;
  const std::vector<std::string> before = PendingFileOperations();
  const bool topThere = Exists(kPendingTop);
  std::string run;
  {
    const process_tests::StartedProcess running(exe, "60");
    ASSERT_TRUE(process_tests::WaitUntilListed({running.Id()}));

    EngineTestContext dry(Acting::Recorded);
    dry.state.DeleteAtRestart = true;
    DeleteFolderTree(dry.context, tree);
    EXPECT_TRUE(Exists(exe));
    EXPECT_EQ(Exists(kPendingTop), topThere) << "the dry run made nothing";
    EXPECT_EQ(NewPendingOperations(before), std::vector<std::string>{}) << "the dry run scheduled nothing";

    EngineTestContext test;
    test.state.DeleteAtRestart = true;
    DeleteFolderTree(test.context, tree);
    EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Will be deleted at restart: " + exe});
    EXPECT_EQ(test.context.outcome.ExitCode(), 3010);
    EXPECT_FALSE(Exists(tree)) << "its folder, empty once the program was moved out, goes now";
    const std::vector<std::string> pending = NewPendingOperations(before);
    ASSERT_EQ(pending.size(), 3u);
    run = pending[1].substr(4);
    EXPECT_EQ(pending[0], "\\??\\" + run + "\\1 ZdnM.exe") << "the file first, then its folders";
    EXPECT_EQ(pending[2], "\\??\\" + kPendingTop);
    EXPECT_EQ(run.substr(0, kPendingTop.size() + 1), kPendingTop + "\\");
    EXPECT_TRUE(Exists(run + "\\1 ZdnM.exe"));
  }
  RemoveTreeForTest(run);
  RemoveDirectoryA(run.c_str());
  if (!topThere) RemoveDirectoryA(kPendingTop.c_str());
}

// A pending folder that is not the cleaner's own is never used: here a link a user made
// there first, pointing to a folder of Windows (on Windows a junction; under Wine a host link,
// which Wine opens as its target, so the name is judged too). The file in use is scheduled by
// its own path, the line says why, and its folder after it; nothing reaches the link's target.
// (That a folder someone else may change is refused as well is not shown here: Wine keeps no
// access list of a file.)
TEST(DeletionAtRestart, APendingFolderThatIsALinkIsNotUsed) {
  ScratchFolder scratch("restart_unsafe");
  const std::string tree = scratch / "Velmora", victim = scratch / "victim";
  MakeFolders(tree);
  MakeFolders(victim);
  const std::string exe = process_tests::CopySleeperAs(tree, "ZdnM.exe");
  const PendingOperationsKept kept;
  const std::vector<std::string> before = PendingFileOperations();
  const std::string aside = kPendingTop + ".kept";
  const bool topThere = Exists(kPendingTop) && MoveFileA(kPendingTop.c_str(), aside.c_str());
  ASSERT_TRUE(MakeHostSymlink(victim, kPendingTop));
  {
    const process_tests::StartedProcess running(exe, "60");
    ASSERT_TRUE(process_tests::WaitUntilListed({running.Id()}));
    EngineTestContext test;
    test.state.DeleteAtRestart = true;
    DeleteFolderTree(test.context, tree);
    const std::string later = "Will be deleted at restart: ";
    EXPECT_EQ(test.reporter.infoLines,
              (std::vector<std::string>{later + exe + kByPathText + kPendingTop + ": it is a link", later + tree}));
    EXPECT_EQ(test.context.outcome.ExitCode(), 3010);
    EXPECT_EQ(NewPendingOperations(before), (std::vector<std::string>{"\\??\\" + exe, "\\??\\" + tree}));
    WIN32_FIND_DATAA found{};
    const UniqueFind listing(FindFirstFileA((victim + "\\*.*").c_str(), &found));
    std::vector<std::string> inVictim;
    if (listing) {
      do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") inVictim.push_back(found.cFileName);
      } while (FindNextFileA(listing.Get(), &found));
    }
    EXPECT_EQ(inVictim, std::vector<std::string>{}) << "nothing was made in the link's target";
  }
  EXPECT_TRUE(RemoveHostSymlink(kPendingTop));
  if (topThere) MoveFileA(aside.c_str(), kPendingTop.c_str());
}

namespace {

// The backup folder on another volume than the tree, as the gateway answers: its rename into
// the backup is refused (ERROR_NOT_SAME_DEVICE), so the backup copies the file and then
// deletes it, which for a running program Windows and Wine refuse as in use.
class BackupOnAnotherVolume : public LiveEffects {
 public:
  explicit BackupOnAnotherVolume(std::wstring backupFolder) : backupFolder_(std::move(backupFolder)) {}
  DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) override {
    return allowCopy ? LiveEffects::MoveFileTo(from, to, allowCopy) : static_cast<DWORD>(ERROR_NOT_SAME_DEVICE);
  }
  // Moves into the backup cannot be renames; the move into the pending folder, on the file's
  // own volume, still is one.
  DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE into,
                  const std::wstring& newName, const std::wstring& target) override {
    if (OrdinaryPath(target).starts_with(backupFolder_)) return ERROR_NOT_SAME_DEVICE;
    return LiveEffects::MoveChild(parent, name, path, folder, into, newName, target);
  }
  DWORD MoveOpen(HANDLE opened, const std::wstring& path, HANDLE into, const std::wstring& newName,
                 const std::wstring& target) override {
    if (OrdinaryPath(target).starts_with(backupFolder_)) return ERROR_NOT_SAME_DEVICE;
    return LiveEffects::MoveOpen(opened, path, into, newName, target);
  }

 private:
  std::wstring backupFolder_;
};

}  // namespace

// With a backup, a program moved aside for the restart is kept once, under the name it had,
// as a file left to the restart: the copy the failed deletion made is marked not done, and
// the pending folders are the cleaner's own, never kept. Undo brings the program back where
// it was from its copy, while the moved one waits for the restart.
TEST(DeletionAtRestart, AMovedAsideFileIsBackedUpOnceAndUndoPutsItBack) {
  ScratchFolder scratch("restart_backup");
  const std::string tree = scratch / "Velmora", backupFolder = scratch / "Backup";
  MakeFolders(tree + "\\bin");
  const std::string exe = process_tests::CopySleeperAs(tree + "\\bin", "ZdnM.exe"), bytes = ReadBytes(exe);
  const PendingOperationsKept kept;
  const std::vector<std::string> before = PendingFileOperations();
  const bool topThere = Exists(kPendingTop);
  std::string run, pendingRun;
  {
    const process_tests::StartedProcess running(exe, "60");
    ASSERT_TRUE(process_tests::WaitUntilListed({running.Id()}));
    BackupOnAnotherVolume volumes(WideFromAnsi(backupFolder));
    BackupEffects backup(volumes);
    EngineTestContext test(backup);
    test.state.DeleteAtRestart = true;
    backup.BeginRun(backupFolder, [&test](const std::string& line) { AddInfo(test.context, line); }, nullptr);
    DeleteFolderTree(test.context, tree);
    backup.EndRun();
    EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Will be deleted at restart: " + exe});
    EXPECT_EQ(test.context.outcome.ExitCode(), 3010);
    const std::vector<std::string> pending = NewPendingOperations(before);
    ASSERT_EQ(pending.size(), 3u);
    pendingRun = pending[1].substr(4);
    EXPECT_EQ(pending[0], "\\??\\" + pendingRun + "\\1 ZdnM.exe");

    WIN32_FIND_DATAA found{};
    const UniqueFind runs(FindFirstFileA((backupFolder + "\\2*").c_str(), &found));
    ASSERT_TRUE(runs);
    run = backupFolder + "\\" + found.cFileName;
    const Journal journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
    EXPECT_TRUE(journal.problems.empty());
    std::vector<std::uint64_t> notDone, restartFiles, moved;
    for (const JournalEntry& entry : journal.entries) {
      EXPECT_EQ(entry.path.find(L"VelmoraCleaner.pending"), std::wstring::npos) << "the pending folders are not kept";
      if (entry.kind == JournalKind::NotDone) notDone.push_back(entry.notDone);
      if (entry.kind == JournalKind::File) moved.push_back(entry.number);
      if (entry.kind == JournalKind::RestartFile) {
        restartFiles.push_back(entry.number);
        EXPECT_EQ(entry.path, ExtendedPath(WideFromAnsi(exe))) << "under the name it had";
      }
    }
    ASSERT_EQ(restartFiles.size(), 1u) << "kept once as a file left to the restart";
    EXPECT_EQ(moved.size(), 1u) << "the backup's own try to move it away";
    EXPECT_EQ(notDone, moved) << "the deletion that failed is marked not done, and nothing else";
  }
  EngineTestContext undo;
  RunUndo(undo.context, run);
  EXPECT_EQ(undo.context.outcome.ExitCode(), 0) << (undo.reporter.infoLines.empty() ? "" : undo.reporter.infoLines[0]);
  EXPECT_EQ(ReadBytes(exe), bytes) << "back where it was, from its copy";
  EXPECT_TRUE(Exists(pendingRun + "\\1 ZdnM.exe")) << "the moved one still goes at the restart";
  RemoveTreeForTest(pendingRun);
  RemoveDirectoryA(pendingRun.c_str());
  if (!topThere) RemoveDirectoryA(kPendingTop.c_str());
}

namespace {

// Files arrive in a folder after what was in it was scheduled: on Windows another program
// writes there during the run. Here the gateway writes a file beside the first one scheduled.
class ArrivingFileEffects : public InUseEffects {
 public:
  ArrivingFileEffects(std::string arrival) : InUseEffects({{L"held.dat", ERROR_SHARING_VIOLATION}}, 0), arrival_(std::move(arrival)) {}
  DWORD DeleteAtRestart(const std::wstring& path) override {
    if (!arrival_.empty()) WriteBytes(std::exchange(arrival_, std::string()), "late");
    return InUseEffects::DeleteAtRestart(path);
  }

 private:
  std::string arrival_;
};

}  // namespace

// A folder is left to the restart only when, listed again, it holds nothing but what was
// scheduled: a file that came since would keep it at the restart while the run said 3010.
TEST(DeletionAtRestart, AFolderThatGotNewFilesIsNotScheduledAndTheRunSaysSo) {
  ScratchFolder scratch("restart_new");
  const std::string tree = scratch / "Tree", held = tree + "\\held.dat";
  WriteBytes(held, "x");
  ArrivingFileEffects effects(tree + "\\late.dat");
  EngineTestContext test(effects);
  test.state.DeleteAtRestart = true;
  DeleteFolderTree(test.context, tree);
  EXPECT_EQ(test.reporter.infoLines,
            (std::vector<std::string>{"Will be deleted at restart: " + held + kByPathText + SystemErrorText(32),
                                      "Could NOT schedule deletion at restart: " + tree + " - " + kNewEntryText + "late.dat"}));
  EXPECT_EQ(Targets(effects, Kind::DeleteAtRestart), std::vector<std::string>{held});
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
}

namespace {

// Files deleted while open elsewhere with delete sharing stay, delete-pending, until their
// holders close them, and keep their folder from going (145), as the gateway answers here;
// while the walk tries, a file may come into the folder, written by the gateway at the first try.
class DeletePendingEffects : public RecordingEffects {
 public:
  explicit DeletePendingEffects(std::string arrival) : arrival_(std::move(arrival)) {}
  DWORD RemoveEmptyFolder(const std::wstring& path) override {
    (void)RecordingEffects::RemoveEmptyFolder(path);
    if (!arrival_.empty()) WriteBytes(std::exchange(arrival_, std::string()), "late");
    return ERROR_DIR_NOT_EMPTY;
  }

 private:
  std::string arrival_;
};

}  // namespace

// A folder kept only by delete-pending files is left to the restart, but only when, listed
// again, it holds nothing that came since: the newcomer would keep it while the run said 3010.
TEST(DeletionAtRestart, AFolderKeptByDeletePendingFilesIsScheduledOnlyWhenNothingCameSince) {
  ScratchFolder scratch("restart_pending");
  const std::string tree = scratch / "Tree";
  WriteBytes(tree + "\\pending.dat", "x");
  for (const bool arrives : {false, true}) {
    DeletePendingEffects effects(arrives ? tree + "\\late.dat" : "");
    EngineTestContext test(effects);
    test.state.DeleteAtRestart = true;
    DeleteFolderTree(test.context, tree);
    const std::vector<std::string> scheduled = Targets(effects, Kind::DeleteAtRestart);
    if (arrives) {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Could NOT schedule deletion at restart: " + tree +
                                                                  " - " + kNewEntryText + "late.dat"});
      EXPECT_EQ(scheduled, std::vector<std::string>{});
      EXPECT_EQ(test.context.outcome.ExitCode(), 1);
    } else {
      EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Will be deleted at restart: " + tree});
      EXPECT_EQ(scheduled, std::vector<std::string>{tree});
      EXPECT_EQ(test.context.outcome.ExitCode(), 3010);
    }
  }
}
