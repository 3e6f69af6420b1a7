#include <gtest/gtest.h>

#include <string>

#include "report/run_record.h"
#include "tools/rules/settings_check.h"

TEST(RunRecord, CountsEachOutcomeAndTheSummaryAndReportAgree) {
  RunRecord record;
  record.Change("remove-file", "C:\\P\\a.dll", 0);
  record.Change("delete-key", "HKEY_LOCAL_MACHINE\\Software\\V", 0);
  record.Change("remove-file", "C:\\P\\b.dll", 5);
  // In use: the restart takes it, or it is listed as left; the attempt is no failure of its own.
  record.Change("remove-file", "C:\\P\\c.dll", 32);
  record.Listed("Could NOT delete file C:\\P\\b.dll", false);
  record.Listed("Will be deleted at restart: C:\\P\\c.dll", true);
  record.Error("I/O error 112.");
  const RunCounts& counts = record.Counts();
  EXPECT_EQ(counts.changes, 2);
  EXPECT_EQ(counts.failed, 1);
  EXPECT_EQ(counts.left, 1);
  EXPECT_EQ(counts.scheduled, 1);
  EXPECT_EQ(counts.errors, 1);
  EXPECT_EQ(SummaryLine(counts, 2),
            "Run ended: 2 changes made, 1 failed, 1 left, 1 scheduled for restart, 1 errors; exit code 2");

  const RunFacts facts{"1.2.3.4 (abc)", "PC", "DOM\\ann", "Cleaner.exe /Q \"/REPORT=C:\\r.json\"", "C:\\C\\Do_list.dat",
                       "00ff"};
  const std::string json = ReportJson(facts, {"SILENT=1", "DELETE=0"}, {"2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00"},
                                      record, 2);
  for (const char* part : {"\"schemaVersion\":1", "\"programVersion\":\"1.2.3.4 (abc)\"", "\"account\":\"DOM\\\\ann\"",
                           "\"commandLine\":\"Cleaner.exe /Q \\\"/REPORT=C:\\\\r.json\\\"\"",
                           "\"settings\":{\"SILENT\":\"1\",\"DELETE\":\"0\"}", "\"sha256\":\"00ff\"",
                           "\"start\":\"2026-12-07T10:00:00+01:00\"",
                           "{\"action\":\"remove-file\",\"target\":\"C:\\\\P\\\\b.dll\",\"outcome\":\"failed\",\"reason\":\"system error 5\"}",
                           "{\"action\":\"remove-file\",\"target\":\"C:\\\\P\\\\c.dll\",\"outcome\":\"in use\",\"reason\":\"system error 32\"}",
                           "\"counts\":{\"changes\":2,\"failed\":1,\"left\":1,\"scheduled\":1,\"errors\":1}",
                           "\"exitCode\":2}"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
  EXPECT_EQ(JsonString("a\tb\x01"), "\"a\\u0009b\\u0001\"");

  RunRecord countsOnly(false);
  countsOnly.Change("remove-file", "C:\\P\\a.dll", 0);
  countsOnly.Listed("Could NOT delete file C:\\P\\b.dll", false);
  EXPECT_TRUE(countsOnly.Steps().empty());
  EXPECT_EQ(countsOnly.Counts().changes, 1);
  EXPECT_EQ(countsOnly.Counts().left, 1);

  // An undo counts what it restored; the gateway's calls it made on the way are kept, not counted.
  RunRecord undo;
  undo.UndoStarting();
  undo.Change("write-value", "HKEY_LOCAL_MACHINE\\Software\\V\\A", 0);
  undo.Restored("1 value(s) of HKEY_LOCAL_MACHINE\\Software\\V");
  undo.Restored("file C:\\P\\a.dll");
  undo.Listed("Not restored, refused: C:\\P\\b.dll - its copy has another name now", false);
  EXPECT_EQ(undo.Counts().changes, 2);
  EXPECT_EQ(undo.Counts().failed, 0);
  EXPECT_EQ(undo.Counts().left, 1);
  EXPECT_EQ(undo.Steps().size(), 4u);
}

TEST(RunRecord, TheFirstBlockNamesProgramMachineAccountCommandLineAndRules) {
  RunFacts facts{"1.0.0.0", "PC", "ann", "Cleaner.exe /TL", "C:\\C\\Do_list.dat", "ab12"};
  EXPECT_EQ(HeaderLines(facts), (std::vector<std::string>{"Velmora Cleaner 1.0.0.0", "Computer: PC", "Account: ann",
                                                          "Command line: Cleaner.exe /TL",
                                                          "Rule file: C:\\C\\Do_list.dat, SHA-256 ab12"}));
  facts.ruleFileSha256.clear();
  EXPECT_EQ(HeaderLines(facts).back(), "Rule file: C:\\C\\Do_list.dat (not readable)");
}

TEST(SettingsCheck, SettingsFilesAreToldByNameOrByTheirHeaders) {
  const struct {
    const char* path;
    const char* stored;
    bool settings;
  } cases[] = {
      {"QRV_RC.INI", "", true},
      {"C:\\Tools\\qrv_rc.ini", "[Registry_Delete]\r\n", true},
      {"/tmp/x/settings.txt", "[Options]\r\nDELETE=1\r\n", true},
      {"Do_list.txt", "[Registry_Delete]\r\nHKLM\\X\r\n[End_Registry_Delete]\r\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSettingsFile(c.path, c.stored), c.settings) << c.path;
  const std::vector<Finding> findings = CheckSettingsFile("[Options]\r\nDELETE = 1\r\n[End_Options]\r\n");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(FormatFinding(findings[0]),
            "line 2: the key \"DELETE \" in \"[Options]\" has blanks around it: it is not \"DELETE\" and the line is ignored");
}
