#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/undo.h"
#include "engine/cleaner_context.h"
#include "engine/cleaner_state.h"
#include "engine/gateway/recording_effects.h"
#include "engine/reporter.h"
#include "engine/run/filter_lists_win.h"
#include "engine/run/registry_actions.h"
#include "engine/run_view.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"
#include "report/trace_log.h"
#include "tests/support/denying_effects.h"
#include "tests/support/engine_test_support.h"
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

std::string Entry(const char* root, const std::string& rest) { return std::string(root) + "\\" + rest; }

// A service's image path, as the service manager reads it.
void SetImagePath(const std::wstring& service, const std::wstring& image) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, service.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(opened, L"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(image.c_str()),
                 static_cast<DWORD>((image.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
}

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

// Recorded only: were a guard missing, nothing could be lost. A class entry is refused in
// both copies of the merged classes.
TEST(DeleteRegistryKeyEntry, SharedKeysAreRefusedAndReported) {
  const struct {
    const char* line;
    const char* reported;
    const char* alsoReported = nullptr;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE"},
      {"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\", "HKEY_LOCAL_MACHINE\\SOFTWARE\\"},
      {"hkey_current_user\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
       "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services",
       "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"},
      {"HKEY_CLASSES_ROOT\\CLSID", "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID", "HKEY_CURRENT_USER\\Software\\Classes\\CLSID"},
      {"HKEY_CLASSES_ROOT\\*", "HKEY_LOCAL_MACHINE\\Software\\Classes\\*", "HKEY_CURRENT_USER\\Software\\Classes\\*"},
      {"HKLM\\Software", "HKEY_CURRENT_USER\\Software"},
      {"Software", "HKEY_CURRENT_USER\\Software"},
  };
  for (const auto& c : cases) {
    RecordingEffects recording;
    ActionRun run(recording);
    DeleteRegistryKeyEntry(run.context, c.line);
    EXPECT_TRUE(recording.actions.empty()) << c.line;
    std::vector<std::string> expected{kRefusedSharedKey + std::string(c.reported)};
    if (c.alsoReported) expected.push_back(kRefusedSharedKey + std::string(c.alsoReported));
    EXPECT_EQ(run.reporter.lines, expected);
    EXPECT_EQ(run.context.outcome.notRemoved, static_cast<int>(expected.size())) << c.line;
  }
}

// Where the two views are one key (every key on a system with one view, such as this prefix,
// and the keys Windows shares between the views) each entry acts once, and the dry run
// lists each change once; a key missing from the 64-bit view is passed over there in silence.
TEST(RegistryEntryPlaces, AKeyBothViewsShareIsActedOnOnce) {
  ScratchKey scratch("act_views");
  BuildTree(scratch, "Tree");
  scratch.SetString("Values", "Gone", "x");
  scratch.SetString("Values", "Old", "text");
  RecordingEffects recording;
  ActionRun run(recording);
  run.context.bothRegistryViews = true;
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Tree"));
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Values=Gone"));
  RenameRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Values\\New=Old"));
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Missing"));
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteKey), 6u);  // the tree once; a missing key is not asked for
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteValue), 2u);
  EXPECT_EQ(recording.Count(RecordedAction::Kind::WriteValue), 1u);
  EXPECT_TRUE(run.reporter.lines.empty());
}

// Recorded only: were a guard missing, nothing could be lost. Each refusal is one line that
// counts for exit code 1, in whatever spelling the entry names the key.
TEST(RegistryGuards, ProtectedTreesKeysAndValuesAreRefusedWithALine) {
  const std::string session = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager";
  const struct {
    void (*action)(CleanerContext&, const std::string&);
    std::string entry;
    std::string line;
    std::string userCopyLine{};  // a class entry acts in the machine's and the user's classes
  } cases[] = {
      {DeleteRegistryKeyEntry, "HKEY_CLASSES_ROOT\\exefile",
       std::string(kRefusedSharedKey) + "HKEY_LOCAL_MACHINE\\Software\\Classes\\exefile",
       std::string(kRefusedSharedKey) + "HKEY_CURRENT_USER\\Software\\Classes\\exefile"},
      {DeleteRegistryKeyEntry, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.lnk\\shell\\open\\command",
       std::string(kRefusedSharedKey) + "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.lnk\\shell\\open\\command"},
      {DeleteRegistryKeyEntry, session, kRefusedProtectedTree + session},
      {DeleteRegistryKeyEntry, "hkey_local_machine\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
       std::string(kRefusedProtectedTree) +
           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"},
      {DeleteRegistryKeyEntry, "HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics",
       std::string(kRefusedProtectedTree) + "HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics"},
      {DeleteRegistryValueEntry, session + "\\Environment=PATH", kRefusedProtectedValue + session + "\\Environment\\PATH"},
      {DeleteRegistryValueEntry, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion=ProgramFilesDir",
       std::string(kRefusedProtectedValue) + "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir"},
      {DeleteRegistryValueEntry, "HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command=",
       std::string(kRefusedProtectedValue) + "HKEY_LOCAL_MACHINE\\Software\\Classes\\exefile\\shell\\open\\command\\",
       std::string(kRefusedProtectedValue) + "HKEY_CURRENT_USER\\Software\\Classes\\exefile\\shell\\open\\command\\"},
      {RenameRegistryValueEntry, session + "\\Environment\\OLDPATH=Path",
       kRefusedProtectedRename + session + "\\Environment\\Path to OLDPATH"},
      {RenameRegistryValueEntry, "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\D=Desktop",
       std::string(kRefusedProtectedRename) +
           "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\Desktop to D"},
  };
  for (const auto& c : cases) {
    RecordingEffects recording;
    ActionRun run(recording);
    c.action(run.context, c.entry);
    EXPECT_TRUE(recording.actions.empty()) << c.entry;
    std::vector<std::string> expected{c.line};
    if (!c.userCopyLine.empty()) expected.push_back(c.userCopyLine);
    EXPECT_EQ(run.reporter.lines, expected) << c.entry;
    EXPECT_EQ(run.context.outcome.ExitCode(), 1) << c.entry;
  }
}

// Products register their handlers, verbs and services below shared keys; those go as before,
// a path through the CurrentControlSet link included.
TEST(RegistryGuards, ProductKeysBelowSharedKeysAreDeleted) {
  const struct {
    HKEY root;
    const char* rootName;
    std::string path;
  } cases[] = {
      {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "*\\shellex\\ContextMenuHandlers\\ZDNScan"},
      {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "Directory\\shell\\ZDNScan"},
      {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE",
       "SYSTEM\\CurrentControlSet\\Services\\ZDNGuard" + std::to_string(GetCurrentProcessId())},
  };
  // In Windows' namespaces they go with the product's evidence: here a command starting its program.
  ScratchFolder product("act_product");
  const std::string command = "\"" + product.Path() + "\\ZdnScan.exe\" \"%1\"";
  for (const auto& c : cases) {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(c.root, (c.path + "\\command").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    key.Reset();
    ActionRun run;
    run.state.ProgramFolder = product.Path();
    DeleteRegistryKeyEntry(run.context, Entry(c.rootName, c.path));
    EXPECT_NE(RegOpenKeyExA(c.root, c.path.c_str(), 0, KEY_READ, key.Put()), ERROR_SUCCESS) << c.path;
    EXPECT_TRUE(run.reporter.lines.empty()) << c.path;
  }
}

// A registry link inside a deleted tree, or named by the entry itself, goes as a link; the
// tree it points at stays whole.
TEST(DeleteRegistryKeyEntry, RegistryLinksAreDeletedAsThemselvesNeverFollowed) {
  ScratchKey scratch("act_link", HKEY_LOCAL_MACHINE);
  scratch.SetString("Target\\Child", "Mark", "stays");
  const std::wstring target = L"\\Registry\\Machine\\" + WideFromAnsi(scratch / "Target");
  const auto makeLink = [&](const std::string& sub) {
    UniqueHKey link;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideFromAnsi(scratch / sub).c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, link.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(link.Get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                             static_cast<DWORD>(target.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  const auto linkExists = [&](const std::string& sub) {
    UniqueHKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, (scratch / sub).c_str(), REG_OPTION_OPEN_LINK, KEY_READ, key.Put()) ==
           ERROR_SUCCESS;
  };
  scratch.Create("Tree");
  makeLink("Tree\\Link");
  makeLink("Alone");
  ASSERT_TRUE(scratch.HasValue("Alone\\Child", "Mark")) << "the link does not lead to its target";
  ActionRun run;
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_LOCAL_MACHINE", scratch / "Tree"));
  DeleteRegistryKeyEntry(run.context, Entry("HKEY_LOCAL_MACHINE", scratch / "Alone"));
  EXPECT_FALSE(scratch.Exists("Tree"));
  EXPECT_FALSE(linkExists("Alone"));
  EXPECT_TRUE(scratch.HasValue("Target\\Child", "Mark"));
  EXPECT_TRUE(run.reporter.lines.empty());
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

// A key name beyond the registry's 255 characters can name no key: each of the three actions
// refuses the line once, as written, and changes nothing, rather than counting it as done.
TEST(RegistryEntries, KeyNamesLongerThanTheRegistryAllowsAreRefusedOnce) {
  const std::string overlong = std::string(256, 'W');
  const struct {
    void (*action)(CleanerContext&, const std::string&);
    std::string line;
  } cases[] = {
      {DeleteRegistryKeyEntry, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\" + overlong},
      {DeleteRegistryKeyEntry, "HKEY_CURRENT_USER\\Software\\Microsoft\\" + overlong},
      {DeleteRegistryKeyEntry, "HKEY_CLASSES_ROOT\\" + overlong + "\\shell"},
      {DeleteRegistryValueEntry, "HKEY_CURRENT_USER\\Software\\" + overlong + "=Value"},
      {RenameRegistryValueEntry, "HKEY_CURRENT_USER\\Software\\" + overlong + "\\New=Old"},
  };
  for (const auto& c : cases) {
    RecordingEffects recording;
    ActionRun run(recording);
    c.action(run.context, c.line);
    EXPECT_TRUE(recording.actions.empty()) << c.line;
    EXPECT_EQ(run.reporter.lines, std::vector<std::string>{kRefusedOverlongName + c.line});
    EXPECT_EQ(run.context.outcome.ExitCode(), 1);
  }
}

namespace {

// The live gateway, refusing every registry value write as a class key locked against the
// administrators would on Windows (error 5).
struct WritesRefused : LiveEffects {
  LONG WriteRegistryValue(HKEY, const std::wstring&, DWORD, const std::vector<BYTE>&, const std::wstring&) override {
    return ERROR_ACCESS_DENIED;
  }
};

std::vector<std::wstring> FilterList(const std::wstring& key, const wchar_t* value) {
  wchar_t data[512] = {};
  DWORD size = sizeof(data) - 4;
  DWORD type = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) return {L"(none)"};
  std::vector<std::wstring> names;
  for (const wchar_t* name = data; *name != L'\0'; name += std::wcslen(name) + 1) names.emplace_back(name);
  if (type != REG_MULTI_SZ) names.emplace_back(L"(not REG_MULTI_SZ)");
  return names;
}

}  // namespace

// A filter driver's service goes with its name out of every device class's UpperFilters and
// LowerFilters, before its key, every other name staying in its place; a class list that
// cannot be changed keeps the service, with a line (a class naming a missing filter stops its
// devices, a disk class the machine's start).
TEST(DeleteRegistryKeyEntry, AFilterServiceLeavesTheClassesFilterListsBeforeItsKeyGoes) {
  const std::wstring classes = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
  const std::wstring disk = classes + L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0B01}";
  const std::wstring volume = classes + L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0B02}";
  const std::wstring other = classes + L"{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0B03}";
  const std::wstring service = L"SYSTEM\\CurrentControlSet\\Services\\QrvFilterSvc";
  const auto seed = [](const std::wstring& key, const wchar_t* value, const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += name + L'\0';
    list += L'\0';
    HKEY opened = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (value) RegSetValueExW(opened, value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                              static_cast<DWORD>(list.size() * sizeof(wchar_t)));
    RegCloseKey(opened);
  };
  // The product's filter driver: its image lies in the product's folder.
  ScratchFolder product("filter_product");
  const std::wstring image = WideFromAnsi(product.Path() + "\\qrvfilt.sys");
  for (const bool refused : {true, false}) {
    seed(disk, L"UpperFilters", {L"partmgr", L"QrvFilterSvc", L"fvevol"});
    seed(volume, L"LowerFilters", {L"qrvfiltersvc"});
    seed(other, L"UpperFilters", {L"QrvFilterSvcKeep"});
    seed(service, nullptr, {});
    SetImagePath(service, image);
    WritesRefused refusing;
    ActionRun run = refused ? ActionRun(refusing) : ActionRun();
    run.state.ProgramFolder = product.Path();
    DeleteRegistryKeyEntry(run.context, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QrvFilterSvc");
    HKEY probe = nullptr;
    const bool stayed = RegOpenKeyExW(HKEY_LOCAL_MACHINE, service.c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS;
    if (probe) RegCloseKey(probe);
    EXPECT_EQ(stayed, refused);
    EXPECT_EQ(FilterList(other, L"UpperFilters"), std::vector<std::wstring>{L"QrvFilterSvcKeep"});
    if (refused) {
      EXPECT_EQ(FilterList(disk, L"UpperFilters"), (std::vector<std::wstring>{L"partmgr", L"QrvFilterSvc", L"fvevol"}));
      ASSERT_EQ(run.reporter.lines.size(), 2u);
      EXPECT_EQ(run.reporter.lines[0], std::string(kFilterStaysText) + "QrvFilterSvc - it could not be taken out of HKEY_LOCAL_MACHINE\\" +
                                           AnsiFromWide(disk) + "\\UpperFilters: " + SystemErrorText(ERROR_ACCESS_DENIED));
      EXPECT_EQ(run.context.outcome.ExitCode(), 1);
    } else {
      EXPECT_EQ(FilterList(disk, L"UpperFilters"), (std::vector<std::wstring>{L"partmgr", L"fvevol"}));
      EXPECT_EQ(FilterList(volume, L"LowerFilters"), std::vector<std::wstring>{});
      EXPECT_EQ(run.reporter.lines, std::vector<std::string>{});
    }
  }
  for (const auto& key : {disk, volume, other, service}) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

// With a backup, the list's change is journaled: undo puts the filter's name back where it
// stood, with the service key, though Control\Class is a tree no rule may change.
TEST(DeleteRegistryKeyEntry, UndoPutsAFilterServicesNameBackIntoTheClassList) {
  const std::wstring disk = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{5E2B7C41-0000-4F6E-8B10-2C7D4E9F0B04}";
  const std::wstring service = L"SYSTEM\\CurrentControlSet\\Services\\QrvFilterUndo";
  const std::wstring list(L"partmgr\0QrvFilterUndo\0fvevol\0\0", 30);
  HKEY opened = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, disk.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
  RegSetValueExW(opened, L"UpperFilters", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                 static_cast<DWORD>(list.size() * sizeof(wchar_t)));
  RegCloseKey(opened);
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, service.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
  RegCloseKey(opened);
  ScratchFolder scratch("filter_undo");
  SetImagePath(service, WideFromAnsi(scratch / "Velmora Lab\\qrvfilt.sys"));
  const std::string backupFolder = scratch / "Backup";
  {
    BackupEffects backup(LiveEffects::Instance());
    EngineTestContext test(backup);
    test.state.ProgramFolder = scratch / "Velmora Lab";
    backup.BeginRun(backupFolder, [&test](const std::string& line) { AddInfo(test.context, line); }, nullptr);
    DeleteRegistryKeyEntry(test.context, "HKEY_LOCAL_MACHINE\\" + AnsiFromWide(service));
    backup.EndRun();
    EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{});
    EXPECT_EQ(FilterList(disk, L"UpperFilters"), (std::vector<std::wstring>{L"partmgr", L"fvevol"}));
  }
  WIN32_FIND_DATAA found{};
  const UniqueFind runs(FindFirstFileA((backupFolder + "\\2*").c_str(), &found));
  ASSERT_TRUE(runs);
  EngineTestContext undo;
  RunUndo(undo.context, backupFolder + "\\" + found.cFileName);
  EXPECT_EQ(undo.reporter.infoLines, std::vector<std::string>{});
  EXPECT_EQ(FilterList(disk, L"UpperFilters"), (std::vector<std::wstring>{L"partmgr", L"QrvFilterUndo", L"fvevol"}));
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, service.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
  if (opened) RegCloseKey(opened);
  for (const auto& key : {disk, service}) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
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
  // Recorded: a value already gone is asked no deletion, which a run's report would count as
  // a change that failed (system error 2) on a machine that was clean.
  RecordingEffects recording;
  ActionRun run(recording);
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Key") + "=Missing");
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Nope") + "=Keep");
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteValue), 0u);
  DeleteRegistryValueEntry(run.context, Entry("HKEY_CURRENT_USER", scratch / "Key") + "=Keep");
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteValue), 1u);
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

TEST(RenameRegistryValueEntry, MovesTypeAndBytesToTheNewName) {
  const DWORD seven = 7;
  const struct {
    const char* label;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"string", REG_SZ, std::string("data\0", 5)},
      {"expandable stays expandable", REG_EXPAND_SZ, std::string("%TEMP%\\q\0", 9)},
      {"inner NUL kept", REG_SZ, std::string("ab\0cd\0", 6)},
      {"number", REG_DWORD, std::string(reinterpret_cast<const char*>(&seven), 4)},
      {"list of texts", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
      {"empty binary", REG_BINARY, ""},
  };
  for (const auto& c : cases) {
    ScratchKey scratch("act_ren");
    scratch.SetRaw("X", "A", c.type, c.bytes);
    ActionRun run;
    RenameRegistryValueEntry(run.context, Entry("hkey_current_user", scratch / "X") + "\\B=A");
    EXPECT_EQ(StringOf(scratch, "X", "B"), std::to_string(c.type) + ":" + c.bytes) << c.label;
    EXPECT_FALSE(scratch.HasValue("X", "A")) << c.label;
    EXPECT_TRUE(run.reporter.lines.empty()) << c.label;
  }
}

// The user's value of the new name, and the key's default value, are never overwritten or lost.
TEST(RenameRegistryValueEntry, RenamesOntoAValueOrFromOrToTheDefaultAreRefusedAndChangeNothing) {
  const struct {
    const char* tail;  // after the key
    const char* refusal;
    bool wholeLine;  // the refusal names the line, else "<key>\<old> to <new>"
  } cases[] = {
      {"\\B=A", kRefusedExistingName, false},
      {"\\b=A", kRefusedExistingName, false},
      {"\\Named=", kRefusedDefaultRename, true},
      {"\\=A", kRefusedDefaultRename, true},
  };
  for (const auto& c : cases) {
    ScratchKey scratch("act_ren_refused");
    scratch.SetString("X", "A", "a");
    scratch.SetDword("X", "B", 9);
    scratch.SetString("X", "", "default");
    const std::string key = Entry("HKEY_CURRENT_USER", scratch / "X");
    ActionRun run;
    RenameRegistryValueEntry(run.context, key + c.tail);
    const std::string tail = c.tail;
    const std::string named = key + "\\" + tail.substr(tail.find('=') + 1) + " to " +
                              tail.substr(1, tail.find('=') - 1);
    EXPECT_EQ(run.reporter.lines, std::vector<std::string>{c.refusal + (c.wholeLine ? key + c.tail : named)});
    EXPECT_EQ(run.context.outcome.notRemoved, 1) << c.tail;
    EXPECT_EQ(StringOf(scratch, "X", "A"), Sz("a")) << c.tail;
    EXPECT_EQ(StringOf(scratch, "X", ""), Sz("default")) << c.tail;
    EXPECT_FALSE(scratch.HasValue("X", "Named")) << c.tail;
    EXPECT_EQ(StringOf(scratch, "X", "B").substr(0, 2), std::to_string(REG_DWORD) + ":") << c.tail;
  }
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

// Refusals that Wine cannot make, answered by the gateway as Windows would. Each key or value
// that stays is one line with its full name and the system's reason and counts for exit code
// 1; keys that grant all but WRITE_DAC and WRITE_OWNER do their jobs.
TEST(RegistryFailures, WhatStaysIsALineWithItsReasonAndCounts) {
  const struct {
    const char* windowsCase;
    void (*action)(CleanerContext&, const std::string&);
    std::string entry;  // this and every name below: under the scratch key
    std::vector<std::string> lockedKeys, closedKeys, lockedValues;
    std::vector<std::string> lines;  // "<text>|<name>", each ending in the reason
    std::vector<std::string> kept, gone;  // keys, and values as "<key>=<name>"
  } cases[] = {
      {"a subkey a self-protecting product locked", DeleteRegistryKeyEntry, "Tree", {"Tree\\A"}, {}, {},
       {"Could NOT delete key |Tree\\A", "Could NOT delete key |Tree"}, {"Tree\\A"}, {"Tree\\A\\Inner", "Tree\\B"}},
      {"a subkey the user has no rights on", DeleteRegistryKeyEntry, "Tree", {"Tree\\A"}, {"Tree\\A"}, {},
       {"Could NOT delete key |Tree\\A", "Could NOT delete key |Tree"}, {"Tree\\A\\Inner\\Deepest"}, {"Tree\\C"}},
      {"a locked value", DeleteRegistryValueEntry, "Key=Name", {}, {}, {"Key\\Name"},
       {"Could NOT delete value |Key\\Name"}, {"Key=Name"}, {}},
      {"a value in a key without rights", DeleteRegistryValueEntry, "Key=Name", {}, {"Key"}, {},
       {"Could NOT delete value |Key\\Name"}, {"Key=Name"}, {}},
      {"a rename whose old value is locked", RenameRegistryValueEntry, "Key\\New=Name", {}, {}, {"Key\\Name"},
       {"Could NOT rename value |Key\\Name to New"}, {"Key=Name", "Key=New"}, {}},
      {"a rename in a key without rights", RenameRegistryValueEntry, "Key\\New=Name", {}, {"Key"}, {},
       {"Could NOT rename value |Key\\Name to New"}, {"Key=Name"}, {"Key=New"}},
      {"a rename whose new name may not be written", RenameRegistryValueEntry, "Key\\New=Name", {}, {},
       {"Key\\New"}, {"Could NOT rename value |Key\\Name to New"}, {"Key=Name"}, {"Key=New"}},
      {"a tree granting all but WRITE_DAC", DeleteRegistryKeyEntry, "Tree", {}, {}, {}, {}, {}, {"Tree"}},
      {"a value so", DeleteRegistryValueEntry, "Key=Name", {}, {}, {}, {}, {"Key=Other"}, {"Key=Name"}},
      {"a rename so", RenameRegistryValueEntry, "Key\\New=Name", {}, {}, {}, {}, {"Key=New"}, {"Key=Name"}},
  };
  for (const auto& c : cases) {
    ScratchKey scratch("act_denied");
    BuildTree(scratch, "Tree");
    scratch.SetString("Key", "Name", "text");
    scratch.SetString("Key", "Other", "stays");
    const std::string top = "HKEY_CURRENT_USER\\" + scratch.Path() + "\\";
    const auto names = [&](const std::vector<std::string>& subs) {
      std::set<std::wstring> full;
      for (const std::string& sub : subs) full.insert(WideFromAnsi(top + sub));
      return full;
    };
    DenyingEffects denying;
    denying.lockedKeys = names(c.lockedKeys);
    denying.closedKeys = names(c.closedKeys);
    denying.lockedValues = names(c.lockedValues);
    ActionRun run(denying);
    c.action(run.context, top + c.entry);

    std::vector<std::string> expected;
    for (const std::string& line : c.lines) {
      expected.push_back(line.substr(0, line.find('|')) + top + line.substr(line.find('|') + 1) + ": " +
                         SystemErrorText(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(run.reporter.lines, expected) << c.windowsCase;
    EXPECT_EQ(run.context.outcome.notRemoved, static_cast<int>(expected.size())) << c.windowsCase;
    EXPECT_EQ(run.context.outcome.ExitCode(), expected.empty() ? 0 : 1) << c.windowsCase;
    const auto present = [&](const std::string& item) {
      const auto equals = item.find('=');
      return equals == std::string::npos ? scratch.Exists(item)
                                         : scratch.HasValue(item.substr(0, equals), item.substr(equals + 1));
    };
    for (const std::string& item : c.kept) EXPECT_TRUE(present(item)) << c.windowsCase << ": " << item;
    for (const std::string& item : c.gone) EXPECT_FALSE(present(item)) << c.windowsCase << ": " << item;
  }
}

// Subkeys named outside the ANSI code page: CJK, and fullwidth look-alikes of "." and "\"
// that a best-fit conversion turns into "..\". The walk uses their UTF-16 names, so the tree
// goes whole and the keys beside it stay. Run again under code pages 1252 and 1251.
TEST(RegistryUnderCodePage, SubkeysNamedOutsideTheCodePageGoWithTheirTree) {
  if (const char* expected = std::getenv("CLEANER_EXPECT_ACP")) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
  }
  ScratchKey scratch("act_wide");
  scratch.SetString("Canary", "Mark", "stays");
  scratch.SetString("victim", "Mark", "stays");
  const std::wstring tree = WideFromAnsi(scratch / "Tree");
  const std::wstring deepest = L"\x4E2D\x6587\\\x6DF1\x3044";
  const std::wstring lookAlike = L"\xFF0E\xFF0E\xFF3Cvictim";
  for (const std::wstring& sub : {deepest, lookAlike, std::wstring(L"\xFF26\xFF55ll")}) {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (tree + L"\\" + sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), L"Mark", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4), ERROR_SUCCESS);
  }
  const std::string entry = "HKEY_CURRENT_USER\\" + (scratch / "Tree");
  RecordingEffects recording;
  ActionRun dry(recording);
  DeleteRegistryKeyEntry(dry.context, entry);
  EXPECT_EQ(recording.Count(RecordedAction::Kind::DeleteKey), 5u);
  // The dry run names the true keys, as the plan's JSON shows them.
  const std::wstring deepestName = L"HKEY_CURRENT_USER\\" + tree + L"\\" + deepest;
  EXPECT_TRUE(std::any_of(recording.actions.begin(), recording.actions.end(),
                          [&](const RecordedAction& action) { return action.wideTarget == deepestName; }));

  ActionRun run;
  DeleteRegistryKeyEntry(run.context, entry);
  EXPECT_FALSE(scratch.Exists("Tree"));
  EXPECT_TRUE(scratch.HasValue("Canary", "Mark"));
  EXPECT_TRUE(scratch.HasValue("victim", "Mark"));
  EXPECT_TRUE(run.reporter.lines.empty());
  EXPECT_EQ(run.context.outcome.ExitCode(), 0);
}
