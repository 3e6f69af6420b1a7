#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/recording_effects.h"
#include "engine/run_view.h"
#include "engine/registry_actions.h"
#include "platform/errors.h"
#include "engine/reporter.h"
#include "report/trace_log.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

namespace {

class ListingReporter : public Reporter {
 public:
  void ShowInfo(const std::string& line) override { lines.push_back(line); }
  void SimpleMessage(const std::string& text) override { lines.push_back("message: " + text); }
  bool Confirm(const std::string&) override { return true; }
  std::vector<std::string> lines;
};

// A cleaning run's context around the given effects; the trace log stays closed.
struct ActionRun {
  explicit ActionRun(Effects& effects) : context{state, view, effects, reporter, trace} {}
  ActionRun() : ActionRun(LiveEffects::Instance()) {}
  CleanerState state;
  NoRunView view;
  ListingReporter reporter;
  TraceLog trace;
  CleanerContext context;
};

// Acts like the live gateway except that every value write fails.
class FailingWrites : public LiveEffects {
 public:
  LONG WriteRegistryString(HKEY, const std::string&, const std::string&, const std::string&) override {
    return ERROR_ACCESS_DENIED;
  }
};

std::string Entry(const char* root, const std::string& rest) { return std::string(root) + "\\" + rest; }

std::string StringOf(const ScratchKey& scratch, const std::string& sub, const std::string& name) {
  DWORD type = 0;
  std::string bytes;
  if (!scratch.GetRaw(sub, name, &type, &bytes)) return "<missing>";
  return std::to_string(type) + ":" + bytes;
}

std::string Sz(const std::string& text) { return std::to_string(REG_SZ) + ":" + text + '\0'; }

void BuildTree(const ScratchKey& scratch, const std::string& top) {
  for (const char* sub : {"", "\\B", "\\A", "\\A\\Inner", "\\A\\Inner\\Deepest", "\\C"}) {
    scratch.SetString(top + sub, "Text", sub);
    scratch.SetDword(top + sub, "Number", 1);
  }
}

}  // namespace

TEST(DeleteRegistryKeyEntry, DeletesTheTreeAndLeavesItsSiblings) {
  ScratchKey scratch("act_delkey");
  BuildTree(scratch, "Tree");
  scratch.SetString("Sibling", "Mark", "stays");
  scratch.SetString("", "Mark", "parent");
  ActionRun run;
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Tree"));
  EXPECT_FALSE(scratch.Exists("Tree"));
  EXPECT_TRUE(scratch.HasValue("Sibling", "Mark"));
  EXPECT_TRUE(scratch.HasValue("", "Mark"));
  // A key that is gone is passed over in silence.
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Tree"));
  EXPECT_TRUE(run.reporter.lines.empty());
  EXPECT_EQ(run.context.outcome.notRemoved, 0);
}

TEST(DeleteRegistryKeyEntry, RootNameInLowerCaseSelectsTheMachineRoot) {
  ScratchKey machine("act_lower", HKEY_LOCAL_MACHINE);
  ScratchKey user(HKEY_CURRENT_USER, machine);
  BuildTree(machine, "Tree");
  BuildTree(user, "Tree");
  ActionRun run;
  DeleteRegistryKeyEntry(run.context, Entry("hkey_local_machine", machine / "Tree"));
  EXPECT_FALSE(machine.Exists("Tree"));
  EXPECT_TRUE(user.Exists("Tree\\A\\Inner\\Deepest"));
}

TEST(DeleteRegistryKeyEntry, AbbreviatedRootActsOnTheCurrentUser) {
  ScratchKey machine("act_hklm", HKEY_LOCAL_MACHINE);
  ScratchKey user(HKEY_CURRENT_USER, machine);
  BuildTree(machine, "Tree");
  BuildTree(user, "Tree");
  ActionRun run;
  DeleteRegistryKeyEntry(run.context, Entry("HKLM", machine / "Tree"));
  EXPECT_FALSE(user.Exists("Tree"));
  EXPECT_TRUE(machine.Exists("Tree\\A\\Inner\\Deepest"));
}

TEST(DeleteRegistryKeyEntry, DryRunRecordsEveryKeyAndDeletesNothing) {
  ScratchKey scratch("act_dry");
  BuildTree(scratch, "Tree");
  RecordingEffects recording;
  ActionRun run(recording);
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Tree"));
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteKey), 6u);
  ASSERT_FALSE(recording.actions.empty());
  EXPECT_EQ(recording.actions.back().target, "HKEY_CURRENT_USER\\" + (scratch / "Tree"));
  EXPECT_TRUE(scratch.Exists("Tree\\A\\Inner\\Deepest"));
}

// Recorded only: were a guard missing, nothing could be lost.
TEST(DeleteRegistryKeyEntry, SharedKeysAreRefusedAndReported) {
  const struct {
    const char* line;
    const char* reported;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE"},
      {"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\"},
      {"hkey_current_user\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
       "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services",
       "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"},
      {"HKEY_CLASSES_ROOT\\CLSID", "HKEY_CLASSES_ROOT\\CLSID"},
      {"HKEY_CLASSES_ROOT\\*", "HKEY_CLASSES_ROOT\\*"},
      {"HKLM\\Software", "HKEY_CURRENT_USER\\Software"},
      {"Software", "HKEY_CURRENT_USER\\Software"},
  };
  for (const auto& c : cases) {
    RecordingEffects recording;
    ActionRun run(recording);
    DeleteRegistryKeyEntry(run.context, c.line);
    EXPECT_TRUE(recording.actions.empty()) << c.line;
    EXPECT_EQ(run.reporter.lines, std::vector<std::string>{kRefusedSharedKey + std::string(c.reported)});
    EXPECT_EQ(run.context.outcome.notRemoved, 1) << c.line;
  }
}

TEST(DeleteRegistryKeyEntry, RefusalGoesToTheTraceLogWhenItIsOn) {
  ScratchFolder folder("act_trace");
  RecordingEffects recording;
  ActionRun run(recording);
  run.state.TraceLogOn = true;
  run.trace.Open(folder / "VC.LOG");
  DeleteRegistryKeyEntry(run.context, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft");
  run.trace.Close();
  const std::string expected = std::string(kRefusedSharedKey) + "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\r\n";
  const std::string log = ReadBytes(folder / "VC.LOG");
  ASSERT_GE(log.size(), expected.size());
  EXPECT_EQ(log.substr(log.size() - expected.size()), expected);
  EXPECT_EQ(log.find('\n'), log.size() - 1);  // one line
  EXPECT_TRUE(recording.actions.empty());
}

TEST(DeleteRegistryKeyEntry, EntriesNamingNoKeyAreRefusedAndReported) {
  for (const char* line : {"\\", "\\\\", "HKEY_LOCAL_MACHINE\\", "HKEY_CURRENT_USER\\\\",
                           "HKEY_CLASSES_ROOT\\\\\\", "HKLM\\"}) {
    RecordingEffects recording;
    ActionRun run(recording);
    DeleteRegistryKeyEntry(run.context, line);
    EXPECT_TRUE(recording.actions.empty()) << line;
    EXPECT_EQ(run.reporter.lines, std::vector<std::string>{kRefusedNoKey + std::string(line)});
  }
}

TEST(DeleteRegistryValueEntry, DeletesTheNamedValueOnly) {
  ScratchKey scratch("act_delval");
  const struct {
    const char* valueName;  // deleted by the entry "HKEY_CURRENT_USER\<key>=<name>"
  } cases[] = {{"Plain"}, {"With=Equals"}, {""}, {"Number"}};
  for (const auto& c : cases) {
    for (const auto& seed : cases) scratch.SetString("Key", seed.valueName, "x");
    scratch.SetDword("Key", "Number", 3);
    ActionRun run;
    DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Key") + "=" + c.valueName);
    for (const auto& other : cases) {
      EXPECT_EQ(scratch.HasValue("Key", other.valueName), std::string(other.valueName) != c.valueName)
          << "entry " << c.valueName << ", value " << other.valueName;
    }
    EXPECT_TRUE(run.reporter.lines.empty());
  }
}

TEST(DeleteRegistryValueEntry, MissingKeyOrValueChangesNothing) {
  ScratchKey scratch("act_delval_missing");
  scratch.SetString("Key", "Keep", "x");
  ActionRun run;
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Key") + "=Missing");
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Nope") + "=Keep");
  EXPECT_TRUE(scratch.HasValue("Key", "Keep"));
  EXPECT_TRUE(run.reporter.lines.empty());
}

TEST(DeleteRegistryValueEntry, AbbreviatedRootActsOnTheCurrentUser) {
  ScratchKey machine("act_delval_hklm", HKEY_LOCAL_MACHINE);
  ScratchKey user(HKEY_CURRENT_USER, machine);
  machine.SetString("", "Name", "machine");
  user.SetString("", "Name", "user");
  ActionRun run;
  DeleteRegistryValueEntry(run.context, Entry("HKLM", machine.Path()) + "=Name");
  EXPECT_FALSE(user.HasValue("", "Name"));
  EXPECT_TRUE(machine.HasValue("", "Name"));
}

// Without `=` the whole line names a value of the root key itself.
TEST(DeleteRegistryValueEntry, WithoutEqualsTheWholeLineIsAValueOfTheRootKey) {
  ScratchKey scratch("act_delval_root");
  const std::string line = "HKEY_CURRENT_USER\\CleanerTestsValue" + std::to_string(GetCurrentProcessId());
  HKEY root = HKEY_CURRENT_USER;
  ASSERT_EQ(RegSetValueExA(root, line.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
  scratch.SetString("", line, "not in the root");
  ActionRun run;
  DeleteRegistryValueEntry(run.context, line);
  DWORD size = 0;
  const bool left = RegQueryValueExA(root, line.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
  RegDeleteValueA(root, line.c_str());
  EXPECT_FALSE(left);
  EXPECT_TRUE(scratch.HasValue("", line));
}

// Blank lines separate entries; they change nothing and are not counted against the run.
TEST(RegistryEntries, BlankLinesChangeNothingAndReportNothing) {
  RecordingEffects recording;
  ActionRun run(recording);
  DeleteRegistryKeyEntry(run.context, "");
  DeleteRegistryValueEntry(run.context, "");
  RenameRegistryValueEntry(run.context, "");
  EXPECT_TRUE(recording.actions.empty());
  EXPECT_TRUE(run.reporter.lines.empty());
  EXPECT_EQ(run.context.outcome.notRemoved, 0);
}

TEST(RenameRegistryValueEntry, MovesTheTextToTheNewName) {
  const struct {
    const char* label;
    DWORD type;
    std::string oldBytes;
    bool newExists;
    std::string newAfter;  // what the new name holds afterwards
  } cases[] = {
      {"string", REG_SZ, std::string("data\0", 5), false, Sz("data")},
      {"overwrites", REG_SZ, std::string("data\0", 5), true, Sz("data")},
      {"expandable becomes plain", REG_EXPAND_SZ, std::string("%TEMP%\\q\0", 9), false, Sz("%TEMP%\\q")},
      {"inner NUL cut", REG_SZ, std::string("ab\0cd\0", 6), false, Sz("ab")},
      {"empty binary becomes empty string", REG_BINARY, "", false, Sz("")},
  };
  for (const auto& c : cases) {
    ScratchKey scratch("act_ren");
    scratch.SetRaw("X", "A", c.type, c.oldBytes);
    if (c.newExists) scratch.SetDword("X", "B", 9);
    ActionRun run;
    RenameRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "X") + "\\B=A");
    EXPECT_EQ(StringOf(scratch, "X", "B"), c.newAfter) << c.label;
    EXPECT_FALSE(scratch.HasValue("X", "A")) << c.label;
    EXPECT_TRUE(run.reporter.lines.empty()) << c.label;
  }
}

TEST(RenameRegistryValueEntry, DefaultValueAndLowerCaseRoot) {
  ScratchKey scratch("act_ren_default", HKEY_LOCAL_MACHINE);
  scratch.SetString("X", "", "default text");
  ActionRun run;
  RenameRegistryValueEntry(run.context, Entry("hkey_local_machine", scratch / "X") + "\\Named=");
  EXPECT_EQ(StringOf(scratch, "X", "Named"), Sz("default text"));
  EXPECT_FALSE(scratch.HasValue("X", ""));
}

TEST(RenameRegistryValueEntry, MissingOldValueOrKeyChangesNothing) {
  ScratchKey scratch("act_ren_missing");
  scratch.SetString("X", "B", "stays");
  ActionRun run;
  RenameRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "X") + "\\B=A");
  RenameRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Nope") + "\\B=A");
  EXPECT_EQ(StringOf(scratch, "X", "B"), Sz("stays"));
  EXPECT_FALSE(scratch.Exists("Nope"));
  EXPECT_TRUE(run.reporter.lines.empty());
}

TEST(RenameRegistryValueEntry, NonStringOldValueRaisesAndBothNamesStay) {
  ScratchKey scratch("act_ren_type");
  scratch.SetDword("X", "A", 7);
  scratch.SetString("X", "B", "old B");
  ActionRun run;
  const std::string line = Entry("HKEY_CURRENT_USER", scratch / "X") + "\\B=A";
  try {
    RenameRegistryValueEntry(run.context, line);
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.Message(), "Invalid data type for 'A'");
  }
  DWORD seven = 7;
  EXPECT_EQ(StringOf(scratch, "X", "A"), std::to_string(REG_DWORD) + ":" + std::string(reinterpret_cast<char*>(&seven), 4));
  EXPECT_EQ(StringOf(scratch, "X", "B"), Sz("old B"));
}

TEST(RenameRegistryValueEntry, FailedWriteRaisesAndKeepsTheOldValue) {
  ScratchKey scratch("act_ren_write");
  scratch.SetString("X", "A", "keep me");
  FailingWrites failing;
  ActionRun run(failing);
  try {
    RenameRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "X") + "\\New=A");
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.Message(), "Failed to set data for 'New'");
  }
  EXPECT_EQ(StringOf(scratch, "X", "A"), Sz("keep me"));
}

TEST(RenameRegistryValueEntry, SameNameInAnyCaseIsRefusedAndTheValueStays) {
  ScratchKey scratch("act_ren_same");
  // E acute in upper and lower case (Windows-1252 and Windows-1251 alike keep it a letter pair).
  const std::string upper = "\xC9t\xC9";
  const std::string lower = "\xE9t\xE9";
  scratch.SetString("X", "Name", "value");
  scratch.SetString("X", upper, "accented");
  ASSERT_TRUE(scratch.HasValue("X", lower)) << "the registry here does not fold this letter pair";
  const struct {
    std::string newName;
    std::string oldName;
    std::string kept;
  } cases[] = {{"Name", "Name", "Name"}, {"NAME", "name", "Name"}, {lower, upper, upper}, {"", "", ""}};
  scratch.SetString("X", "", "default");
  for (const auto& c : cases) {
    ActionRun live;
    const std::string line = Entry("HKEY_CURRENT_USER", scratch / "X") + "\\" + c.newName + "=" + c.oldName;
    RenameRegistryValueEntry(live.context, line);
    EXPECT_TRUE(scratch.HasValue("X", c.kept)) << line;
    EXPECT_EQ(live.reporter.lines, std::vector<std::string>{kRefusedSameName + line});
  }
}

TEST(RenameRegistryValueEntry, EntriesWithoutANewNameAreRefused) {
  ScratchKey scratch("act_ren_bad");
  scratch.SetString("", "A", "x");
  for (const std::string& line : {Entry("HKEY_CURRENT_USER", scratch.Path()) + "\\A", std::string("B=A"),
                                  std::string("=A\\B")}) {
    RecordingEffects recording;
    ActionRun run(recording);
    RenameRegistryValueEntry(run.context, line);
    EXPECT_TRUE(recording.actions.empty()) << line;
    EXPECT_EQ(run.reporter.lines, std::vector<std::string>{kRefusedNoNewName + line});
  }
  EXPECT_TRUE(scratch.HasValue("", "A"));
}
