#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/run/deletion.h"
#include "engine/guards/folder_guard.h"
#include "engine/gateway/recording_effects.h"
#include "platform/effects.h"
#include "platform/system_error.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/held_file.h"
#include "tests/support/wine_test_support.h"

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
  DWORD RemoveFile(const std::wstring& path) override {
    const int here = 0;
    lowest = std::min(lowest, reinterpret_cast<std::uintptr_t>(&here));
    return LiveEffects::RemoveFile(path);
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
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override {
    if (IsFolder(path)) cleared_.push_back(path);
    return LiveEffects::SetAttributes(path, attributes);
  }
  DWORD RemoveEmptyFolder(const std::wstring& path) override {
    const bool yields = readOnly_ && std::find(cleared_.begin(), cleared_.end(), path) != cleared_.end();
    return yields ? LiveEffects::RemoveEmptyFolder(path) : error_;
  }

 private:
  static bool IsFolder(const std::wstring& path) { return GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY; }
  DWORD error_;
  bool readOnly_;
  std::vector<std::wstring> cleared_;
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

 private:
  std::vector<std::string> links_;
};

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
// sharing (32), one deleted already and still open (303, which the live gateway makes of
// access denied with STATUS_DELETE_PENDING), one whose ACL denies deletion (5, not in use).
// Scheduling answers 5 where the user may not write the pending operations.
class InUseEffects : public RecordingEffects {
 public:
  InUseEffects(std::map<std::wstring, DWORD> answers, DWORD scheduling) : answers_(answers), scheduling_(scheduling) {}
  DWORD RemoveFile(const std::wstring& path) override {
    (void)RecordingEffects::RemoveFile(path);
    const auto found = answers_.find(path.substr(path.rfind(L'\\') + 1));
    return found == answers_.end() ? ERROR_SUCCESS : found->second;
  }
  DWORD DeleteAtRestart(const std::wstring& path) override {
    (void)RecordingEffects::DeleteAtRestart(path);
    return scheduling_;
  }

 private:
  std::map<std::wstring, DWORD> answers_;
  DWORD scheduling_;
};

TEST(DeletionAtRestart, WhatIsInUseAndTheFoldersKeptOnlyByItAreScheduledInOrder) {
  ScratchFolder scratch("restart");
  const std::string tree = scratch / "Tree", held = tree + "\\Sub\\held.dat", single = scratch / "single.dat";
  const std::string acl = tree + "\\Other\\acl.dat", later = "Will be deleted at restart: ";
  for (const std::string& file : {held, acl, single, tree + "\\Sub\\free.dat"}) WriteBytes(file, "x");
  const std::string denied = "Could NOT schedule deletion at restart: ", reason = " - " + SystemErrorText(5);
  const struct {
    bool restartOn;
    DWORD error, aclError, scheduling;
    std::vector<std::string> lines;
    int exitCode;
  } cases[] = {
      {true, 32, 0, 0, {later + held, later + tree + "\\Sub", later + tree, later + single}, 3010},
      {true, 303, 0, 0, {later + held, later + tree + "\\Sub", later + tree, later + single}, 3010},
      {true, 32, 5, 0, {later + held, later + tree + "\\Sub", "Could NOT delete   " + acl, later + single}, 1},
      {false, 32, 0, 0, {"Could NOT delete   " + held, "Could NOT delete " + single}, 1},
      {true, 5, 0, 0, {"Could NOT delete   " + held, "Could NOT delete " + single}, 1},
      {true, 32, 0, 5, {denied + held + reason, denied + single + reason}, 1},
  };
  for (const auto& c : cases) {
    InUseEffects effects({{L"held.dat", c.error}, {L"single.dat", c.error}, {L"acl.dat", c.aclError}}, c.scheduling);
    EngineTestContext test(effects);
    test.state.DeleteAtRestart = c.restartOn;
    DeleteFolderTree(test.context, tree);
    DeleteSingleFile(test.context, single);
    // Siblings come in the file system's order; a folder always after what it held.
    std::vector<std::string> scheduled, lines = test.reporter.infoLines, expected = c.lines;
    for (const std::string& line : c.lines) {
      if (line.starts_with(later) || line.starts_with(denied)) scheduled.push_back(line.substr(line.find(": ") + 2));
    }
    for (std::string& path : scheduled) path = path.substr(0, path.find(" - "));
    std::vector<std::string> targets = Targets(effects, Kind::DeleteAtRestart);
    if (std::ranges::count(c.lines, later + tree) > 0) {
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, held), IndexOf(effects, Kind::DeleteAtRestart, tree + "\\Sub"));
      EXPECT_LT(IndexOf(effects, Kind::DeleteAtRestart, tree + "\\Sub"), IndexOf(effects, Kind::DeleteAtRestart, tree));
    }
    for (auto* list : {&scheduled, &targets, &lines, &expected}) std::sort(list->begin(), list->end());
    EXPECT_EQ(targets, scheduled) << c.error << " " << c.aclError;
    EXPECT_EQ(lines, expected) << c.error << " " << c.aclError;
    EXPECT_EQ(test.context.outcome.ExitCode(), c.exitCode) << c.error << " " << c.aclError;
  }
}
