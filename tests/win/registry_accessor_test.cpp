#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/gateway/recording_effects.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry/registry_accessor.h"
#include "platform/text/wide_text.h"
#include "report/run_record.h"
#include "report/run_recorder.h"
#include "tests/support/denying_effects.h"
#include "tests/support/scratch_key.h"

namespace {

std::string Absolute(const std::string& path) { return "\\" + path; }
std::wstring W(const std::string& text) { return WideFromAnsi(text); }
std::string NameOf(const RegistryAccessor& accessor) { return AnsiFromWide(accessor.OpenKeyName()); }

// Runs the call and gives the registry error's message; fails the test when none is raised.
template <typename Call>
std::string RegistryErrorOf(Call call) {
  try {
    call();
  } catch (const ERegistryException& error) {
    return error.Message();
  }
  ADD_FAILURE() << "no ERegistryException";
  return {};
}

}  // namespace

TEST(RegistryAccessorRoot, NewAccessorWorksOnTheCurrentUser) {
  ScratchKey scratch("acc_root");
  scratch.SetString("", "Mark", "cu");
  RegistryAccessor accessor;
  EXPECT_EQ(accessor.Root(), HKEY_CURRENT_USER);
  EXPECT_FALSE(accessor.HasOpenKey());
  ASSERT_TRUE(accessor.OpenExistingKey(scratch.Path()));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "cu");
  EXPECT_EQ(NameOf(accessor), "HKEY_CURRENT_USER\\" + scratch.Path());
}

TEST(RegistryAccessorRoot, SameRootKeepsTheOpenKeyAnotherRootClosesIt) {
  ScratchKey scratch("acc_select");
  scratch.SetString("", "Mark", "x");
  RegistryAccessor accessor;
  ASSERT_TRUE(accessor.OpenExistingKey(scratch.Path()));
  accessor.SelectRoot(HKEY_CURRENT_USER);
  EXPECT_TRUE(accessor.HasOpenKey());
  EXPECT_TRUE(accessor.HasValue("Mark"));
  accessor.SelectRoot(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(accessor.Root(), HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(accessor.HasOpenKey());
  EXPECT_FALSE(accessor.HasValue("Mark"));
  // The same path now resolves under the new root, where it does not exist.
  EXPECT_FALSE(accessor.OpenExistingKey(scratch.Path()));
}

TEST(RegistryAccessorOpen, AbsolutePathsStartAtTheRootRelativeOnesAtTheOpenKey) {
  ScratchKey scratch("acc_paths", HKEY_LOCAL_MACHINE);
  scratch.SetString("A", "Mark", "A");
  scratch.SetString("B", "Mark", "B");
  scratch.SetString("B\\Child", "Mark", "B\\Child");
  scratch.SetString("B\\A", "Mark", "B\\A");
  RegistryAccessor accessor;
  accessor.SelectRoot(HKEY_LOCAL_MACHINE);

  ASSERT_TRUE(accessor.OpenExistingKey(Absolute(scratch / "B")));
  ASSERT_TRUE(accessor.OpenExistingKey(Absolute(scratch / "A")));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "A");
  EXPECT_EQ(NameOf(accessor), "HKEY_LOCAL_MACHINE\\" + (scratch / "A"));

  ASSERT_TRUE(accessor.OpenExistingKey(Absolute(scratch / "B")));
  ASSERT_TRUE(accessor.OpenExistingKey("Child"));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "B\\Child");
  EXPECT_EQ(NameOf(accessor), "HKEY_LOCAL_MACHINE\\" + (scratch / "B\\Child"));

  // "A" relative to B is B\A, not the sibling A.
  ASSERT_TRUE(accessor.OpenExistingKey(Absolute(scratch / "B")));
  ASSERT_TRUE(accessor.OpenExistingKey("A"));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "B\\A");
}

TEST(RegistryAccessorOpen, RelativePathWithNoKeyOpenStartsAtTheRoot) {
  ScratchKey scratch("acc_rel", HKEY_LOCAL_MACHINE);
  scratch.SetString("", "Mark", "here");
  RegistryAccessor accessor;
  accessor.SelectRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(accessor.OpenExistingKey(scratch.Path()));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "here");
}

TEST(RegistryAccessorOpen, EmptyPathReopensTheOpenKey) {
  ScratchKey scratch("acc_empty");
  scratch.SetString("", "Mark", "same");
  RegistryAccessor accessor;
  ASSERT_TRUE(accessor.OpenExistingKey(scratch.Path()));
  ASSERT_TRUE(accessor.OpenExistingKey(""));
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "same");
  EXPECT_EQ(NameOf(accessor), "HKEY_CURRENT_USER\\" + scratch.Path());
}

TEST(RegistryAccessorOpen, FailedOpenKeepsThePreviousKey) {
  ScratchKey scratch("acc_failopen");
  scratch.SetString("A", "Mark", "A");
  RegistryAccessor accessor;
  ASSERT_TRUE(accessor.OpenExistingKey(scratch / "A"));
  const std::string name = NameOf(accessor);
  for (const std::string& missing : {std::string("Missing"), std::string("Missing\\Deeper"), Absolute(scratch / "Missing")}) {
    EXPECT_FALSE(accessor.OpenExistingKey(missing)) << missing;
    EXPECT_TRUE(accessor.HasOpenKey());
    EXPECT_TRUE(accessor.HasValue("Mark"));
    EXPECT_EQ(accessor.ReadStringValue("Mark"), "A");
    EXPECT_EQ(NameOf(accessor), name);
  }
}

// A new accessor, and one whose only open failed.
TEST(RegistryAccessorNoKey, ValueOperationsFindNothingAndWritesRaise) {
  ScratchKey scratch("acc_nokey");
  for (const bool triedToOpen : {false, true}) {
    RegistryAccessor accessor;
    if (triedToOpen) {
      ASSERT_FALSE(accessor.OpenExistingKey(scratch / "Missing"));
    }
    EXPECT_FALSE(accessor.HasValue("Anything"));
    EXPECT_FALSE(accessor.HasValue(""));
    EXPECT_EQ(accessor.ReadStringValue("Anything"), "");
    EXPECT_EQ(accessor.RemoveValue(L"Anything"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegistryErrorOf([&] { accessor.WriteStringValue(L"New Name", L"text"); }),
              "Failed to set data for 'New Name'");
  }
}

TEST(RegistryAccessorNoKey, RecordingNothingWhenNoKeyIsOpen) {
  RecordingEffects recording;
  RegistryAccessor accessor(recording);
  EXPECT_EQ(accessor.RemoveValue(L"Name"), ERROR_INVALID_HANDLE);
  EXPECT_THROW(accessor.WriteStringValue(L"Name", L"x"), ERegistryException);
  EXPECT_TRUE(recording.actions.empty());
}

TEST(RegistryAccessorRead, StringRulesByTypeAndData) {
  ScratchKey scratch("acc_read");
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
    const char* text;  // nullptr: raises "Invalid data type"
  } cases[] = {
      {"Plain", REG_SZ, std::string("hello\0", 6), "hello"},
      {"Inner NUL", REG_SZ, std::string("abc\0def\0", 8), "abc"},
      {"No terminator", REG_SZ, "xyz", "xyz"},
      {"Expandable", REG_EXPAND_SZ, std::string("%SystemRoot%\\qrv\0", 17), "%SystemRoot%\\qrv"},
      {"Empty string", REG_SZ, std::string("\0", 1), ""},
      {"", REG_SZ, std::string("default\0", 8), "default"},
      {"Empty binary", REG_BINARY, "", ""},
      {"Empty dword", REG_DWORD, "", ""},
      {"Binary", REG_BINARY, "\x01\x02", nullptr},
      {"Dword", REG_DWORD, std::string("\x05\0\0\0", 4), nullptr},
      {"Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), nullptr},
  };
  for (const auto& c : cases) scratch.SetRaw("", c.name, c.type, c.bytes);

  RegistryAccessor accessor;
  ASSERT_TRUE(accessor.OpenExistingKey(scratch.Path()));
  for (const auto& c : cases) {
    if (c.text) {
      EXPECT_EQ(accessor.ReadStringValue(c.name), c.text) << c.name;
    } else {
      EXPECT_EQ(RegistryErrorOf([&] { (void)accessor.ReadStringValue(c.name); }),
                std::string("Invalid data type for '") + c.name + "'");
    }
    EXPECT_TRUE(accessor.HasValue(c.name)) << c.name;
  }
  EXPECT_EQ(accessor.ReadStringValue("Missing"), "");
  EXPECT_FALSE(accessor.HasValue("Missing"));
  // After the errors the same key is still open.
  EXPECT_EQ(accessor.ReadStringValue("Plain"), "hello");
}

TEST(RegistryAccessorWrite, StoresTextAndOneNulAsAPlainString) {
  ScratchKey scratch("acc_write");
  scratch.SetDword("", "Was Dword", 7);
  scratch.SetRaw("", "Was Expandable", REG_EXPAND_SZ, std::string("%x%\0", 4));
  RegistryAccessor accessor;
  ASSERT_EQ(accessor.OpenExistingKey(W(scratch.Path()), KeyAccess::ChangeValues), ERROR_SUCCESS);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {{"Empty", ""}, {"Text", "C:\\Program Files\\QRV"}, {"Was Dword", "now text"},
               {"Was Expandable", "%y%"}, {"", "default"}};
  for (const auto& c : cases) {
    accessor.WriteStringValue(W(c.name), W(c.text));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(scratch.GetRaw("", c.name, &type, &bytes)) << c.name;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << c.name;
    EXPECT_EQ(bytes, c.text + '\0') << c.name;
  }
}

TEST(RegistryAccessorValues, RemoveAndHasWorkOnTheOpenKeyOnly) {
  ScratchKey scratch("acc_values");
  scratch.SetString("", "Mark", "parent");
  scratch.SetString("Child", "Mark", "child");
  scratch.SetDword("Child", "Number", 1);
  RegistryAccessor accessor;
  ASSERT_EQ(accessor.OpenExistingKey(W(scratch / "Child"), KeyAccess::ChangeValues), ERROR_SUCCESS);
  EXPECT_TRUE(accessor.HasValue("Number"));
  EXPECT_EQ(accessor.RemoveValue(L"Number"), ERROR_SUCCESS);
  EXPECT_FALSE(accessor.HasValue("Number"));
  EXPECT_EQ(accessor.RemoveValue(L"Number"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(accessor.RemoveValue(L"Mark"), ERROR_SUCCESS);
  EXPECT_FALSE(scratch.HasValue("Child", "Mark"));
  EXPECT_TRUE(scratch.HasValue("", "Mark"));
}

namespace {
// Three levels, siblings out of alphabetical creation order, values everywhere.
void BuildTree(const ScratchKey& scratch, const std::string& top) {
  for (const char* sub : {"", "Zeta", "Alpha", "Alpha\\Inner", "Alpha\\Inner\\Deepest", "Mid", "Mid\\One",
                          "Mid\\Two", "Mid\\Three"}) {
    const std::string key = std::string(sub).empty() ? top : top + "\\" + sub;
    scratch.SetString(key, "", "default");
    scratch.SetString(key, "Text", sub);
    scratch.SetDword(key, "Number", 42);
  }
}
}  // namespace

TEST(RegistryAccessorDeleteTree, RemovesNestedKeysAndValues) {
  ScratchKey scratch("acc_tree");
  BuildTree(scratch, "Tree");
  scratch.SetString("Keep", "Mark", "stays");
  RegistryAccessor accessor;
  const TreeDeletion deletion = accessor.DeleteKeyTree(W(scratch / "Tree"));
  EXPECT_TRUE(deletion.Deleted());
  EXPECT_TRUE(deletion.stayed.empty());
  EXPECT_FALSE(scratch.Exists("Tree"));
  EXPECT_TRUE(scratch.HasValue("Keep", "Mark"));
  // Keys that are not there, or cannot be (a name beyond 255 characters): no failure, and no
  // deletion asked of the gateway, where a run's record would count it as a change that failed.
  for (const std::string& missing : {std::string("Tree"), std::string("Never"), std::string(256, 'Q')}) {
    RecordingEffects recording;
    RegistryAccessor recorded(recording);
    const TreeDeletion again = recorded.DeleteKeyTree(W(scratch / missing));
    EXPECT_EQ(again.code, ERROR_FILE_NOT_FOUND) << missing;
    EXPECT_TRUE(again.stayed.empty()) << missing;
    EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteKey), 0u) << missing;
  }
}

TEST(RegistryAccessorDeleteTree, ManySiblingsAreAllRemoved) {
  ScratchKey scratch("acc_wide");
  for (int i = 0; i < 120; ++i) scratch.SetDword("Wide\\Key" + std::to_string(i), "N", static_cast<DWORD>(i));
  RegistryAccessor accessor;
  EXPECT_TRUE(accessor.DeleteKeyTree(W(scratch / "Wide")).Deleted());
  EXPECT_FALSE(scratch.Exists("Wide"));
}

namespace {
struct DeletionJob {
  std::wstring path;
  TreeDeletion result;
};
DWORD WINAPI DeleteOnThread(void* data) {
  auto& job = *static_cast<DeletionJob*>(data);
  RegistryAccessor accessor;
  job.result = accessor.DeleteKeyTree(job.path);
  return 0;
}
}  // namespace

// A hostile hive may nest keys far deeper than Windows' 512 levels: a chain 20,000 deep
// overflowed a walk that recursed, on the main thread's larger stack. Run on a thread whose
// stack leaves 32 bytes per level, the walk still deletes the whole chain: its levels are kept
// on the heap.
TEST(RegistryAccessorDeleteTree, ChainDeeperThanAnyStackCouldRecurseIsDeleted) {
  constexpr int kDepth = 20000;
  ScratchKey scratch("acc_deep");
  UniqueHKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (scratch / "Chain").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.Put(), nullptr),
            ERROR_SUCCESS);
  for (int level = 0; level < kDepth; ++level) {
    UniqueHKey next;
    ASSERT_EQ(RegCreateKeyExW(key.Get(), L"k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, next.Put(), nullptr),
              ERROR_SUCCESS);
    key = std::move(next);
  }
  key.Reset();
  DeletionJob job{W(scratch / "Chain"), {}};
  UniqueKernelHandle thread(
      CreateThread(nullptr, kDepth * 32, DeleteOnThread, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  ASSERT_TRUE(thread.Valid());
  ASSERT_EQ(WaitForSingleObject(thread.Get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(job.result.Deleted());
  EXPECT_TRUE(job.result.stayed.empty());
  EXPECT_FALSE(scratch.Exists("Chain"));
}

TEST(RegistryAccessorDeleteTree, OpenKeySurvivesAndRelativePathsStartThere) {
  ScratchKey scratch("acc_treeopen", HKEY_LOCAL_MACHINE);
  BuildTree(scratch, "Open\\Tree");
  BuildTree(scratch, "Other");
  scratch.SetString("Open", "Mark", "open");
  RegistryAccessor accessor;
  accessor.SelectRoot(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(accessor.OpenExistingKey(W(scratch / "Open"), KeyAccess::ChangeValues), ERROR_SUCCESS);
  const std::string name = NameOf(accessor);

  EXPECT_TRUE(accessor.DeleteKeyTree(L"Tree").Deleted());
  EXPECT_FALSE(scratch.Exists("Open\\Tree"));
  EXPECT_TRUE(accessor.DeleteKeyTree(W(Absolute(scratch / "Other"))).Deleted());
  EXPECT_FALSE(scratch.Exists("Other"));

  EXPECT_TRUE(accessor.HasOpenKey());
  EXPECT_EQ(NameOf(accessor), name);
  EXPECT_EQ(accessor.ReadStringValue("Mark"), "open");
  accessor.WriteStringValue(L"After", L"works");
  EXPECT_TRUE(scratch.HasValue("Open", "After"));
}

TEST(RegistryAccessorDeleteTree, PathsNamingNoKeyAreRefused) {
  ScratchKey scratch("acc_refuse");
  BuildTree(scratch, "Open");
  // Live, with a key open: the empty path would name that key.
  RegistryAccessor live;
  ASSERT_TRUE(live.OpenExistingKey(scratch / "Open"));
  EXPECT_FALSE(live.DeleteKeyTree(L"").Deleted());
  EXPECT_TRUE(scratch.Exists("Open\\Alpha\\Inner\\Deepest"));
  EXPECT_TRUE(live.HasValue("Text"));

  // With no key open these would name a root key: only recorded, so nothing can be lost.
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) {
    for (const wchar_t* path : {L"", L"\\", L"\\\\", L"\\\\\\"}) {
      RecordingEffects recording;
      RegistryAccessor accessor(recording);
      accessor.SelectRoot(root);
      EXPECT_FALSE(accessor.DeleteKeyTree(path).Deleted()) << AnsiFromWide(path);
      EXPECT_TRUE(recording.actions.empty()) << AnsiFromWide(path);
    }
  }
}

TEST(RegistryAccessorDeleteTree, DryRunRecordsDepthFirstFromTheLastSubkeyAndDeletesNothing) {
  ScratchKey scratch("acc_dry");
  BuildTree(scratch, "Tree");
  RecordingEffects recording;
  RegistryAccessor accessor(recording);
  EXPECT_TRUE(accessor.DeleteKeyTree(W(scratch / "Tree")).Deleted());
  const std::string top = "HKEY_CURRENT_USER\\" + (scratch / "Tree");
  const char* expected[] = {"Zeta",  "Mid\\Two", "Mid\\Three", "Mid\\One", "Mid", "Alpha\\Inner\\Deepest",
                            "Alpha\\Inner", "Alpha", ""};
  ASSERT_EQ(recording.actions.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(recording.actions[i].kind, RecordedAction::Kind::DeleteKey);
    EXPECT_EQ(recording.actions[i].target, std::string(expected[i]).empty() ? top : top + "\\" + expected[i]);
  }
  EXPECT_TRUE(scratch.Exists("Tree\\Alpha\\Inner\\Deepest"));
  EXPECT_TRUE(scratch.HasValue("Tree\\Mid\\Two", "Text"));
}

namespace {
// The live gateway, noting which keys the walk opens and how it deletes them.
class OpenNotingEffects : public LiveEffects {
 public:
  LONG OpenRegistryKey(HKEY base, const std::wstring& sub, DWORD options, REGSAM rights, const std::wstring& name,
                       UniqueHKey& key) override {
    opened.push_back(AnsiFromWide(name));
    return LiveEffects::OpenRegistryKey(base, sub, options, rights, name, key);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& sub, REGSAM view, const std::wstring& name) override {
    ++byName;
    return LiveEffects::DeleteRegistryKey(base, sub, view, name);
  }
  LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& sub, REGSAM view,
                             const std::wstring& name) override {
    ++byHandle;
    return LiveEffects::DeleteOpenRegistryKey(key, base, sub, view, name);
  }
  std::vector<std::string> opened;
  int byName = 0;
  int byHandle = 0;
};
}  // namespace

// Each open, query and close is a round trip to Wine's server: every key is opened once, as
// itself, and its deletion through that handle tried at once, which takes a leaf with no
// question of its own; a key with subkeys refuses that try, is walked through the same handle
// and goes through it once emptied. Subkeys are met from the highest index down.
TEST(RegistryAccessorDeleteTree, EveryKeyIsOpenedOnceAndGoesThroughThatHandle) {
  ScratchKey scratch("acc_leaves");
  BuildTree(scratch, "Tree");
  OpenNotingEffects effects;
  RegistryAccessor accessor(effects);
  EXPECT_TRUE(accessor.DeleteKeyTree(W(scratch / "Tree")).Deleted());
  EXPECT_FALSE(scratch.Exists("Tree"));
  const std::string top = "HKEY_CURRENT_USER\\" + (scratch / "Tree");
  const std::vector<std::string> expected = {top,
                                             top + "\\Zeta",
                                             top + "\\Mid",
                                             top + "\\Mid\\Two",
                                             top + "\\Mid\\Three",
                                             top + "\\Mid\\One",
                                             top + "\\Alpha",
                                             top + "\\Alpha\\Inner",
                                             top + "\\Alpha\\Inner\\Deepest"};
  EXPECT_EQ(effects.opened, expected);
  EXPECT_EQ(effects.byHandle, 5 + 4 * 2) << "a leaf once; a key with subkeys tried, then deleted emptied";
  EXPECT_EQ(effects.byName, 0);

  scratch.SetString("Single", "Text", "leaf");
  OpenNotingEffects single;
  RegistryAccessor alone(single);
  EXPECT_TRUE(alone.DeleteKeyTree(W(scratch / "Single")).Deleted());
  EXPECT_EQ(single.opened.size(), 1u);
  EXPECT_EQ(single.byHandle, 1);
  EXPECT_FALSE(scratch.Exists("Single"));
}

// The run's record counts each key of the tree once: a key with subkeys refuses the first try
// at its deletion, which is no change and no failure. A leaf a product locked keeps its parent
// and the top, each a failure of its own with the system's reason.
TEST(RegistryAccessorDeleteTree, TheRunRecordCountsEveryKeyOnceAndNoTryAsAFailure) {
  ScratchKey scratch("acc_record");
  BuildTree(scratch, "Tree");
  const std::string top = "HKEY_CURRENT_USER\\" + (scratch / "Tree");
  DenyingEffects denying;
  denying.lockedKeys.insert(W(top + "\\Mid\\Two"));
  RunRecord record(true);
  RecordingLayer layer(denying, record);
  RegistryAccessor accessor(layer);
  const TreeDeletion deletion = accessor.DeleteKeyTree(W(scratch / "Tree"));
  EXPECT_FALSE(deletion.Deleted());
  std::vector<std::string> failed;
  std::vector<std::string> done;
  for (const RecordedStep& step : record.Steps()) {
    ASSERT_EQ(step.action, "delete-key");
    (step.outcome == "done" ? done : failed).push_back(step.target);
  }
  const std::vector<std::string> expectedFailed = {top + "\\Mid\\Two", top + "\\Mid", top};
  EXPECT_EQ(failed, expectedFailed);
  EXPECT_EQ(done.size(), 6u);
  EXPECT_EQ(record.Counts().failed, 3);
  EXPECT_EQ(deletion.stayed.size(), 3u);
  EXPECT_TRUE(scratch.Exists("Tree\\Mid\\Two"));
  EXPECT_FALSE(scratch.Exists("Tree\\Mid\\One"));
  EXPECT_FALSE(scratch.Exists("Tree\\Alpha"));
}

namespace {
// Records like the dry run and counts the opens and deletions that leave out the 64-bit view.
class ViewCheckingEffects : public RecordingEffects {
 public:
  LONG OpenRegistryKey(HKEY base, const std::wstring& sub, DWORD options, REGSAM rights, const std::wstring& name,
                       UniqueHKey& key) override {
    if (!(rights & KEY_WOW64_64KEY)) ++withoutView;
    return RecordingEffects::OpenRegistryKey(base, sub, options, rights, name, key);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& sub, REGSAM view, const std::wstring& name) override {
    if (view != KEY_WOW64_64KEY) ++withoutView;
    return RecordingEffects::DeleteRegistryKey(base, sub, view, name);
  }
  int withoutView = 0;
};
}  // namespace

// On a 64-bit Windows the view must be asked for on every open and deletion down the tree,
// or the subkeys would be looked for in the 32-bit view. This prefix has one view, so the
// tree is found either way; the names and the flags are what is checked.
TEST(RegistryAccessorView, The64BitViewReachesTheWholeTreeAndNamesEveryKey) {
  ScratchKey scratch("acc_view");
  BuildTree(scratch, "Tree");
  ViewCheckingEffects effects;
  RegistryAccessor accessor(effects);
  accessor.SelectRoot(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
  EXPECT_TRUE(accessor.DeleteKeyTree(W(scratch / "Tree")).Deleted());
  EXPECT_EQ(effects.withoutView, 0);
  EXPECT_EQ(effects.Count(RecordedAction::Kind::DeleteKey), 9u);
  EXPECT_EQ(effects.actions.back().target, "(64-bit view) HKEY_CURRENT_USER\\" + (scratch / "Tree"));
  // One view here: the key is the 32-bit view's, and a missing key is no key of its own.
  EXPECT_FALSE(accessor.HasOwn64BitKey(W(Absolute(scratch.Path()))));
  EXPECT_FALSE(accessor.HasOwn64BitKey(W(Absolute(scratch / "Missing"))));
  // Stands for a 64-bit key a self-protecting product closed to the user: it is acted on, so
  // that its failure is reported.
  DenyingEffects denying;
  denying.closedKeys.insert(W("(64-bit view) HKEY_CURRENT_USER\\" + scratch.Path()));
  RegistryAccessor closed(denying);
  closed.SelectRoot(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
  EXPECT_TRUE(closed.HasOwn64BitKey(W(scratch.Path())));
}
