#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/plan/json_text.h"
#include "tools/plan/plan_options.h"
#include "tools/plan/plan_report.h"

namespace {

// Windows-1251 for the few letters the tests use, as the Windows build converts with CP_ACP.
std::u16string FromCp1251(std::string_view text) {
  std::u16string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte >= 0xC0 ? static_cast<char16_t>(0x0410 + (byte - 0xC0)) : static_cast<char16_t>(byte);
  }
  return out;
}

TargetState State(bool exists, std::optional<long long> count = {}, std::string noun = {}) {
  TargetState state;
  state.known = true;
  state.exists = exists;
  state.count = count;
  state.countNoun = std::move(noun);
  return state;
}

PlanReport SampleReport() {
  PlanReport report;
  report.settings = {"C:\\Cleaner\\Do_list.dat", 9, "C:\\Program Files\\Velmora Lab", "C:\\Common\\ZDN Shared Files",
                     "C:\\Program Files", "C:\\windows", "C:\\windows\\system32", "", true, true, false, ""};
  report.messages = {"File with rule does not Exist"};

  PlanStep processes;
  processes.section = "Processes";
  processes.actions.push_back({"end-process", "ZdnM.exe", {}, State(true, 2, "processes")});
  report.steps.push_back(processes);

  PlanStep key;
  key.line = 2;
  key.section = "DeleteRegKey";
  key.entry = "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab";
  key.now = State(true, 1, "subkeys");
  key.actions.push_back({"delete-key", "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab\\QRV", {}, State(true, 0, "subkeys")});
  key.actions.push_back({"delete-key", "HKEY_LOCAL_MACHINE\\Software\\VelmoraLab", {}, State(true, 1, "subkeys")});
  report.steps.push_back(key);

  PlanStep folder;
  folder.line = 5;
  folder.section = "DelDir";
  folder.entry = "C:\\Program Files\\Velmora Lab";
  folder.now = State(true, 1, "files");
  folder.actions.push_back({"set-attributes", "C:\\Program Files\\Velmora Lab\\\xCC.dll", "32", State(true)});
  folder.actions.push_back({"remove-file", "C:\\Program Files\\Velmora Lab\\\xCC.dll", {}, State(true)});
  folder.actions.push_back({"remove-folder", "C:\\Program Files\\Velmora Lab", {}, State(true, 1, "files")});
  report.steps.push_back(folder);

  PlanStep refused;
  refused.line = 6;
  refused.section = "DelDir";
  refused.entry = "C:\\";
  refused.now = State(true);
  refused.notes.push_back("Refused to delete protected folder C:\\");
  report.steps.push_back(refused);

  PlanStep skipped;
  skipped.line = 8;
  skipped.section = "DelFile";
  skipped.entry = "C:\\x \"quoted\".txt";
  skipped.now = State(false);
  skipped.skipped = true;
  report.steps.push_back(skipped);

  PlanStep rename;
  rename.line = 9;
  rename.section = "RenameRegVal";
  rename.entry = "HKEY_CURRENT_USER\\Software\\X\\New=Old";
  rename.actions.push_back({"write-value", "HKEY_CURRENT_USER\\Software\\X\\New", "line1\nline2", State(false)});
  report.steps.push_back(rename);
  return report;
}

}  // namespace

TEST(JsonText, EscapesEverythingOutsidePrintableAscii) {
  const struct {
    std::u16string text;
    std::string json;
  } cases[] = {
      {u"", "\"\""},
      {u"C:\\Program Files\\\"x\"", "\"C:\\\\Program Files\\\\\\\"x\\\"\""},
      {u"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
      {u"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {u"ZDN \u041c\u043e\u043d\u0438\u0442\u043e\u0440.lnk", "\"ZDN \\u041c\\u043e\\u043d\\u0438\\u0442\\u043e\\u0440.lnk\""},
      {u"\U0001F600", "\"\\ud83d\\ude00\""},
      {u"/ ~", "\"/ ~\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuoted(c.text), c.json);
}

TEST(PlanJson, OneObjectPerLineForEveryStepActionAndNote) {
  std::ostringstream out;
  WritePlanJson(SampleReport(), out, FromCp1251);
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> expected = {
      "{\"type\":\"settings\",\"schemaVersion\":1,\"ruleFile\":\"C:\\\\Cleaner\\\\Do_list.dat\",\"ruleLines\":9,"
      "\"programFolder\":\"C:\\\\Program Files\\\\Velmora Lab\",\"sharedFolder\":\"C:\\\\Common\\\\ZDN Shared Files\","
      "\"programFilesFolder\":\"C:\\\\Program Files\",\"windowsFolder\":\"C:\\\\windows\","
      "\"systemFolder\":\"C:\\\\windows\\\\system32\",\"startMenuFolder\":\"\",\"killProcesses\":true,"
      "\"deleteFiles\":true,\"deleteLinks\":false,\"backupFolder\":\"\"}",
      "{\"type\":\"message\",\"text\":\"File with rule does not Exist\"}",
      "{\"type\":\"step\",\"line\":0,\"section\":\"Processes\",\"entry\":\"\",\"skipped\":false}",
      "{\"type\":\"action\",\"line\":0,\"section\":\"Processes\",\"action\":\"end-process\",\"target\":\"ZdnM.exe\","
      "\"exists\":true,\"processes\":2}",
      "{\"type\":\"entry\",\"line\":2,\"section\":\"DeleteRegKey\",\"entry\":\"HKEY_LOCAL_MACHINE\\\\Software\\\\VelmoraLab\","
      "\"exists\":true,\"subkeys\":1,\"skipped\":false}",
      "{\"type\":\"action\",\"line\":2,\"section\":\"DeleteRegKey\",\"action\":\"delete-key\","
      "\"target\":\"HKEY_LOCAL_MACHINE\\\\Software\\\\VelmoraLab\\\\QRV\",\"exists\":true,\"subkeys\":0}",
      "{\"type\":\"action\",\"line\":2,\"section\":\"DeleteRegKey\",\"action\":\"delete-key\","
      "\"target\":\"HKEY_LOCAL_MACHINE\\\\Software\\\\VelmoraLab\",\"exists\":true,\"subkeys\":1}",
      "{\"type\":\"entry\",\"line\":5,\"section\":\"DelDir\",\"entry\":\"C:\\\\Program Files\\\\Velmora Lab\","
      "\"exists\":true,\"files\":1,\"skipped\":false}",
      "{\"type\":\"action\",\"line\":5,\"section\":\"DelDir\",\"action\":\"set-attributes\","
      "\"target\":\"C:\\\\Program Files\\\\Velmora Lab\\\\\\u041c.dll\",\"detail\":\"32\",\"exists\":true}",
      "{\"type\":\"action\",\"line\":5,\"section\":\"DelDir\",\"action\":\"remove-file\","
      "\"target\":\"C:\\\\Program Files\\\\Velmora Lab\\\\\\u041c.dll\",\"exists\":true}",
      "{\"type\":\"action\",\"line\":5,\"section\":\"DelDir\",\"action\":\"remove-folder\","
      "\"target\":\"C:\\\\Program Files\\\\Velmora Lab\",\"exists\":true,\"files\":1}",
      "{\"type\":\"entry\",\"line\":6,\"section\":\"DelDir\",\"entry\":\"C:\\\\\",\"exists\":true,\"skipped\":false}",
      "{\"type\":\"info\",\"line\":6,\"section\":\"DelDir\",\"text\":\"Refused to delete protected folder C:\\\\\"}",
      "{\"type\":\"entry\",\"line\":8,\"section\":\"DelFile\",\"entry\":\"C:\\\\x \\\"quoted\\\".txt\",\"exists\":false,"
      "\"skipped\":true}",
      "{\"type\":\"entry\",\"line\":9,\"section\":\"RenameRegVal\",\"entry\":\"HKEY_CURRENT_USER\\\\Software\\\\X\\\\New=Old\","
      "\"skipped\":false}",
      "{\"type\":\"action\",\"line\":9,\"section\":\"RenameRegVal\",\"action\":\"write-value\","
      "\"target\":\"HKEY_CURRENT_USER\\\\Software\\\\X\\\\New\",\"detail\":\"line1\\nline2\",\"exists\":false}",
      "{\"type\":\"totals\",\"entries\":5,\"actions\":7,\"refusedOrFailing\":1,\"skipped\":1,\"present\":3,"
      "\"exitCode\":3}",
  };
  ASSERT_EQ(lines.size(), expected.size()) << out.str();
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;

  // A shortcut the engine named in UTF-16 keeps its letters whatever the ANSI code page.
  PlanReport links = SampleReport();
  PlanStep shortcuts;
  shortcuts.section = "Shortcuts";
  shortcuts.actions.push_back(
      {"remove-file", "C:\\Startup\\ZDN ???????.lnk", {}, State(true), u"C:\\Startup\\ZDN \u041c\u043e\u043d\u0438\u0442\u043e\u0440.lnk"});
  links.steps = {shortcuts};
  std::ostringstream linkJson;
  WritePlanJson(links, linkJson, FromCp1251);
  EXPECT_NE(linkJson.str().find("\"target\":\"C:\\\\Startup\\\\ZDN \\u041c\\u043e\\u043d\\u0438\\u0442\\u043e\\u0440.lnk\""),
            std::string::npos)
      << linkJson.str();

  PlanReport failed = SampleReport();
  failed.runError = "Invalid data type for 'Old'";
  failed.runErrorLine = 9;
  std::ostringstream withError;
  WritePlanJson(failed, withError, FromCp1251);
  EXPECT_TRUE(withError.str().ends_with("{\"type\":\"error\",\"line\":9,\"text\":\"Invalid data type for 'Old'\"}\n"
                                        "{\"type\":\"totals\",\"entries\":5,\"actions\":7,\"refusedOrFailing\":1,"
                                        "\"skipped\":1,\"present\":3,\"exitCode\":1}\n"))
      << withError.str();
}

TEST(PlanText, ShowsStatesMergesAttributeResetsAndSumsUp) {
  std::ostringstream out;
  WritePlanText(SampleReport(), out);
  const std::string text = out.str();
  for (const std::string part : {
           "Rule file        C:\\Cleaner\\Do_list.dat (9 lines)\n",
           "Start Menu       (none)\n",
           "Switches         kill processes: yes, delete files and folders: yes, delete links: no\n",
           "Message          File with rule does not Exist\n",
           "Processes\n    end-process ZdnM.exe  [exists, 2 processes]\n",
           "line 2  DeleteRegKey  HKEY_LOCAL_MACHINE\\Software\\VelmoraLab  [exists, 1 subkey]\n",
           "    delete-key HKEY_LOCAL_MACHINE\\Software\\VelmoraLab\\QRV  [exists, 0 subkeys]\n",
           "line 5  DelDir  C:\\Program Files\\Velmora Lab  [exists, 1 file]\n"
           "    remove-file C:\\Program Files\\Velmora Lab\\\xCC.dll (attributes reset first)  [exists]\n"
           "    remove-folder C:\\Program Files\\Velmora Lab  [exists, 1 file]\n",
           "line 6  DelDir  C:\\  [exists]\n    ! Refused to delete protected folder C:\\\n",
           "line 8  DelFile  C:\\x \"quoted\".txt  [missing]  (skipped: deletion not permitted)\n",
           "    write-value HKEY_CURRENT_USER\\Software\\X\\New := line1\nline2  [missing]\n",
           "5 entries, 7 actions, 1 refused or failing, 1 skipped, 3 with targets present; nothing was changed\n",
       }) {
    EXPECT_NE(text.find(part), std::string::npos) << "missing:\n" << part << "\nin:\n" << text;
  }
  EXPECT_EQ(text.find("set-attributes"), std::string::npos);

  PlanReport idle = SampleReport();
  idle.steps[0].actions.clear();
  idle.steps[1].actions.clear();
  std::ostringstream idleOut;
  WritePlanText(idle, idleOut);
  EXPECT_NE(idleOut.str().find("Processes  (none)\n"), std::string::npos) << idleOut.str();
  EXPECT_NE(idleOut.str().find("[exists, 1 subkey]  (nothing to do)\n"), std::string::npos) << idleOut.str();
}

// Only what a run would act on, or what a skipped entry leaves, is the product present: a
// refused entry's target, a missing target and a target whose state is unknown are not.
TEST(PlanExit, ThreeWhenSomethingOfTheProductIsPresentOneWhenTheRunWouldFail) {
  const auto step = [](TargetState entryNow, bool skipped, std::vector<TargetState> actionsNow, bool refused) {
    PlanStep made;
    made.line = 1;
    made.now = entryNow;
    made.skipped = skipped;
    for (const TargetState& now : actionsNow) made.actions.push_back({"remove-file", "C:\\x", {}, now});
    if (refused) made.notes.push_back("Refused to delete protected folder C:\\");
    return made;
  };
  const struct {
    const char* name;
    PlanStep step;
    std::string runError;
    std::size_t present;
    int code;
  } cases[] = {
      {"an action on a target that exists", step(State(true), false, {State(false), State(true)}, false), "", 1, 3},
      {"actions on targets gone", step(State(true), false, {State(false), State(false)}, false), "", 0, 0},
      {"a target whose state is unknown", step({}, false, {TargetState{}}, false), "", 0, 0},
      {"a skipped entry that exists", step(State(true), true, {}, false), "", 1, 3},
      {"a skipped entry that is gone", step(State(false), true, {}, false), "", 0, 0},
      {"a refused entry that exists", step(State(true), false, {}, true), "", 0, 0},
      {"the run would fail", step(State(true), false, {State(true)}, false), "Invalid data type for 'Old'", 1, 1},
      {"the run would fail, nothing present", step(State(false), false, {}, false), "error", 0, 1},
  };
  for (const auto& c : cases) {
    PlanReport report;
    report.steps = {c.step, c.step};
    report.runError = c.runError;
    EXPECT_EQ(TotalsOf(report).present, 2 * c.present) << c.name;
    EXPECT_EQ(PlanExitCode(report), c.code) << c.name;
  }
}

TEST(PlanOptionsLine, ReadsEveryOptionAndRefusesTheRest) {
  std::string problem;
  const auto all = ParsePlanOptions(
      {"--json", "--program", "D:\\P", "--shared", "D:\\S", "--rules", "D:\\r.dat", "--delete-at-restart", "--backup", "E:\\Keep"},
      problem);
  ASSERT_TRUE(all.has_value()) << problem;
  EXPECT_TRUE(all->json);
  EXPECT_TRUE(all->deleteAtRestart);
  EXPECT_EQ(all->programFolder, "D:\\P");
  EXPECT_EQ(all->sharedFolder, "D:\\S");
  EXPECT_EQ(all->ruleFile, "D:\\r.dat");
  EXPECT_EQ(all->backupFolder, "E:\\Keep");
  const auto none = ParsePlanOptions({}, problem);
  ASSERT_TRUE(none.has_value());
  EXPECT_FALSE(none->json);
  EXPECT_FALSE(none->deleteAtRestart);
  EXPECT_EQ(none->programFolder, "");

  const struct {
    std::vector<std::string> arguments;
    std::string problem;
  } bad[] = {
      {{"--program"}, "--program needs a value"},
      {{"--rules", ""}, "--rules needs a value"},
      {{"--shared", "x", "--dry"}, "plan does not know \"--dry\""},
      {{"extra"}, "plan does not know \"extra\""},
  };
  for (const auto& c : bad) {
    problem.clear();
    EXPECT_FALSE(ParsePlanOptions(c.arguments, problem).has_value());
    EXPECT_EQ(problem, c.problem);
  }
}
