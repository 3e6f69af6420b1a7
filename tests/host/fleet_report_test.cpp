#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files/line_reader.h"
#include "report/run_record.h"
#include "tests/host/trickling_source.h"
#include "tools/fleet/fleet_line.h"
#include "tools/fleet/fleet_run.h"
#include "tools/fleet/json_pull.h"

namespace {

FleetRun Read(const std::string& bytes, std::size_t step = 1 << 20) {
  TricklingSource source(bytes, step);
  return ReadFleetRun(source);
}

std::string ReasonOf(const std::string& bytes) {
  try {
    Read(bytes);
  } catch (const EConvertError& error) {
    return error.Message();
  }
  return "(read)";
}

std::string WrittenReport(const std::string& computer, int exitCode, const RunRecord& record) {
  const RunFacts facts{"2.1.0.7 (abc1234)", computer, "DOM\\admin", "Cleaner.exe /Q", "C:\\C\\Do_list.dat", "00ff"};
  return ReportJson(facts, {"SILENT=1"}, {"2026-12-07T10:00:00+01:00", "2026-12-07T10:00:05+01:00"}, record, exitCode);
}

}  // namespace

TEST(FleetReport, AReportTheCleanerWritesReadsBackWhateverTheReadsSize) {
  RunRecord record;
  record.Change("remove-file", "C:\\P\\a.dll", 0);
  record.Change("remove-file", "C:\\P\\b.dll", 5);
  record.Change("remove-file", "C:\\P\\c.dll", 32);  // in use: the restart step after it counts
  record.Listed("Could NOT delete C:\\P\\b.dll", false);
  record.Listed("Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", false);
  record.Listed("Will be deleted at restart: C:\\P\\c.dll", true);
  record.Error("I/O error 112.");
  const std::string json = WrittenReport("PC-\xD0\x9F\"1", 1, record);
  for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
    const FleetRun run = Read(json, step);
    EXPECT_EQ(run.schemaVersion, kReportSchemaVersion);
    EXPECT_EQ(run.computer, "PC-\xD0\x9F\"1");
    EXPECT_EQ(run.programVersion, "2.1.0.7 (abc1234)");
    EXPECT_EQ(run.ruleSha256, "00ff");
    EXPECT_EQ(run.end, "2026-12-07T10:00:05+01:00");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.Outcome(), FleetOutcome::Left);
    EXPECT_EQ(run.counts.changes, 1);
    EXPECT_EQ(run.counts.failed, 1);
    EXPECT_EQ(run.counts.left, 2);
    EXPECT_EQ(run.counts.scheduled, 1);
    EXPECT_EQ(run.counts.errors, 1);
    EXPECT_EQ(run.left, std::vector<std::string>{"Could NOT delete C:\\P\\b.dll"});
    EXPECT_EQ(run.reasons, (std::vector<std::string>{"remove-file failed: system error 5",
                                                     "Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes",
                                                     "error: I/O error 112."}));
    EXPECT_FALSE(run.NewerSchema());
  }
}

TEST(FleetReport, EveryExitCodeHasItsOutcome) {
  const struct {
    long long code;
    FleetOutcome outcome;
  } cases[] = {{0, FleetOutcome::Clean},          {3010, FleetOutcome::RestartPending},
               {1, FleetOutcome::Left},           {2, FleetOutcome::Failed},
               {1622, FleetOutcome::Failed},      {1639, FleetOutcome::RefusedCommandLine},
               {1618, FleetOutcome::AnotherCopy}, {-1, FleetOutcome::Failed}};
  for (const auto& c : cases) EXPECT_EQ(OutcomeOfExitCode(c.code), c.outcome) << c.code;
}

TEST(FleetReport, AReportThatCannotBeReadSaysWhy) {
  const std::string good = WrittenReport("PC1", 0, RunRecord{});
  const struct {
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"", "empty file"},
      {" \r\n", "truncated: the file ends at byte 3 before the JSON document is complete"},
      {good.substr(0, 40), "truncated: the file ends at byte 40 before the JSON document is complete"},
      {good.substr(0, good.size() - 3), "truncated: the file ends at byte " + std::to_string(good.size() - 3) +
                                            " before the JSON document is complete"},
      {"<html>", "not JSON: unexpected '<' at byte 0"},
      {"\x1F\x8B\x08\x00", "compressed with gzip: unpack it first (gzip -d)"},
      {good + "{}", "text after the JSON document at byte " + std::to_string(good.size())},
      {"{\"computer\":\"a\tb\"}", "a control character inside a text at byte 14"},
      {"{\"computer\":\"\\x\"}", "not JSON: unexpected 'x' at byte 14"},
      {"{\"a\":01}", "not JSON: unexpected '1' at byte 6"},
      {"{\"a\" 1}", "not JSON: unexpected '1' at byte 5"},
      {"{\"a\":[1}", "not JSON: unexpected '}' at byte 7"},
      {"{\"x\":" + std::string(300, '['), "nested deeper than 256 levels at byte 261"},
      {"[1]", "not a report: a JSON list, not an object"},
      {"{\"computer\":\"PC1\",\"exitCode\":0}", "not a cleaner report: no schemaVersion"},
      {"{\"schemaVersion\":0,\"computer\":\"PC1\",\"exitCode\":0}", "schema version 0, older than any this tool reads (1 to 1)"},
      {"{\"schemaVersion\":1,\"exitCode\":0}", "the report names no computer"},
      {"{\"schemaVersion\":1,\"computer\":\"\",\"exitCode\":0}", "the report names no computer"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\"}", "the report has no exitCode"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\",\"exitCode\":\"0\"}", "exitCode is not a number"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\",\"exitCode\":1.5}", "exitCode is not a whole number: 1.5"},
      {"{\"schemaVersion\":1,\"computer\":7,\"exitCode\":0}", "computer is not a text"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\",\"exitCode\":0,\"counts\":{\"left\":-1}}", "counts.left is out of range: -1"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\",\"exitCode\":0,\"actions\":{}}", "actions is not a list"},
      {"{\"schemaVersion\":1,\"computer\":\"PC1\",\"exitCode\":0,\"actions\":[3]}", "actions holds something that is not an object"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReasonOf(c.bytes), c.reason) << c.bytes.substr(0, 60);
}

TEST(FleetReport, ANewerReportIsReadForTheFieldsThisReaderKnows) {
  const FleetRun run = Read(
      "\xEF\xBB\xBF{\"schemaVersion\":3,\"computer\":\"PC9\",\"future\":{\"deep\":[1,{\"x\":[true,false,null]}],\"n\":-2.5e+3},"
      "\"ruleFile\":null,\"exitCode\":3010,\"counts\":{\"changes\":4,\"retries\":9},"
      "\"actions\":[{\"outcome\":\"left\",\"reason\":\"Could NOT delete \\u00e9\\ud83d\\ude00\",\"weight\":{}}]}\n");
  EXPECT_TRUE(run.NewerSchema());
  EXPECT_EQ(run.schemaVersion, 3);
  EXPECT_EQ(run.Outcome(), FleetOutcome::RestartPending);
  EXPECT_EQ(run.counts.changes, 4);
  EXPECT_EQ(run.ruleSha256, "");
  EXPECT_EQ(run.left, std::vector<std::string>{"Could NOT delete \xC3\xA9\xF0\x9F\x98\x80"});
}

TEST(FleetReport, TimesSortInUtcAndMachineNamesMatchWhateverTheirCase) {
  const struct {
    const char* time;
    const char* utc;
  } times[] = {
      {"2026-12-07T10:00:05+01:00", "2026-12-07T09:00:05Z"},
      {"2026-12-31T23:30:00-01:00", "2027-01-01T00:30:00Z"},
      {"2024-03-01T00:10:00+05:30", "2024-02-29T18:40:00Z"},
      {"2026-12-07T10:00:05Z", "2026-12-07T10:00:05Z"},
      {"2026-12-07 10:00:05", ""},
      {"2026-13-07T10:00:05+01:00", ""},
      {"", ""},
  };
  for (const auto& t : times) EXPECT_EQ(UtcSortKey(t.time), t.utc) << t.time;
  EXPECT_EQ(MachineKey("PC-Ann.corp.example"), "pc-ann");
  EXPECT_EQ(MachineKey("PC-ANN"), "pc-ann");
}

TEST(FleetReport, ARunSurvivesItsSortLineAndTheLatestRunSortsFirst) {
  FleetRun run;
  run.file = "r\\one\tx.json";
  run.computer = "PC\\1";
  run.exitCode = 1;
  run.schemaVersion = 1;
  run.end = "2026-12-07T10:00:05+01:00";
  run.counts.left = 2;
  run.left = {"a\\tb", "line\x1F with\nbreaks"};
  run.reasons = {"error: x"};
  const FleetLine back = ParseLine(RunLine(run));
  EXPECT_EQ(back.key, "pc\\1");
  EXPECT_FALSE(back.expected);
  EXPECT_EQ(back.run.file, run.file);
  EXPECT_EQ(back.run.left, run.left);
  EXPECT_EQ(back.run.reasons, run.reasons);
  EXPECT_EQ(back.run.counts.left, 2);

  FleetRun later = run;
  later.end = "2026-12-07T09:30:00Z";  // later than 10:00:05+01:00
  EXPECT_TRUE(LineLess(RunLine(later), RunLine(run)));
  EXPECT_TRUE(LineLess(RunLine(run), ExpectedLine("pc\\1")));
  EXPECT_TRUE(ParseLine(ExpectedLine("PC\\1.corp")).expected);
  EXPECT_EQ(ParseLine(ExpectedLine("PC\\1.corp")).key, "pc\\1");
}
