#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "startup/single_instance.h"
#include "tests/e2e/cleaner_folder.h"
#include "tests/e2e/seeded_installation.h"
#include "tests/e2e/tool_output.h"
#include "tests/support/held_file.h"
#include "tests/support/wine_test_support.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

ToolRun Fleet(const std::string& arguments, const std::string& folder) {
  return RunCapturingOutput(BuildFolder() + "\\RuleTool.exe", "fleet " + arguments, folder);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Real runs of Cleaner.exe with /REPORT, one of each kind an unattended deployment meets, read
// back by RuleTool fleet: each report alone gives its outcome, and all together are one
// machine that reported four times, counted by its latest run.
TEST(FleetOfRealReports, EveryRunsReportReachesTheSummary) {
  SeededInstallation installation;
  CleanerFolder cleaner;
  cleaner.WriteRules(installation.RuleLines());
  const std::string reports = cleaner / "reports";
  MakeFolders(reports);
  const auto report = [&reports](const char* name) { return reports + "\\" + name; };

  // Deletion not permitted: the run leaves the product's files.
  EXPECT_EQ(cleaner.Run("/Q \"/REPORT=" + report("left.json") + "\"").exitCode, 1u);
  // A switch the program does not know: refused before anything starts, reported all the same.
  EXPECT_EQ(cleaner.Run("/Q /DELET \"/REPORT=" + report("typo.json") + "\"").exitCode, 1639u);
  const std::string lockFile = AnsiFromWide(InstanceLockFolder() + L"\\" + kInstanceLockFileName);
  WriteBytes(lockFile, "");
  {
    // Another copy holds the machine's claim (under Wine its lock file, held open).
    HeldFile otherCopy(lockFile);
    ASSERT_EQ(otherCopy.Answer(), "held");
    EXPECT_EQ(cleaner.Run("/Q /DELETE \"/REPORT=" + report("busy.json") + "\"").exitCode, 1618u);
    // While it runs, a refused start never replaces a report that is there: it may be that copy's.
    const std::string before = ReadBytes(report("left.json"));
    EXPECT_EQ(cleaner.Run("/Q /BOGUS \"/REPORT=" + report("left.json") + "\"").exitCode, 1639u);
    EXPECT_EQ(ReadBytes(report("left.json")), before);
  }
  DeleteFileA(lockFile.c_str());
  Sleep(1100);  // the last run ends in a later second: it is the latest
  EXPECT_EQ(cleaner.Run("/Q /DELETE /DELLINK \"/REPORT=" + report("clean.json") + "\"").exitCode, 0u);

  const struct {
    const char* file;
    const char* outcome;
    const char* line;  // a line the summary shows for it
  } runs[] = {
      {"left.json", "left", "Skipped (deletion not permitted): "},
      {"typo.json", "refused command line", "error: Invalid command line: Unknown switch: /DELET"},
      {"busy.json", "another copy running", "error: Another Velmora Cleaner is running"},
      {"clean.json", "clean", "Fleet: 1 machines reported, 1 reports read, 0 unreadable"},
  };
  for (const auto& run : runs) {
    const ToolRun alone = Fleet(Quoted(report(run.file)), cleaner.Path());
    EXPECT_EQ(alone.exitCode, 0u) << run.file << "\n" << alone.output;
    EXPECT_TRUE(Has(alone.output, "\n  " + std::string(run.outcome) + std::string(22 - strlen(run.outcome), ' ') +
                                      "        1")) << run.file << "\n" << alone.output;
    EXPECT_TRUE(Has(alone.output, run.line)) << run.file << "\n" << alone.output;
  }

  const std::string out = cleaner / "summary";
  const ToolRun all = Fleet(Quoted(reports) + " -o " + Quoted(out), cleaner.Path());
  EXPECT_EQ(all.exitCode, 0u) << all.output;
  EXPECT_TRUE(Has(all.output, "Fleet: 1 machines reported, 4 reports read, 0 unreadable")) << all.output;
  EXPECT_TRUE(Has(all.output, "Machines that reported more than once: 1 (4 runs); each counts by its latest run")) << all.output;
  EXPECT_TRUE(Has(all.output, "\n  clean                         1")) << all.output;
  // One row: the machine, clean by its latest run, and its four runs.
  const std::string csv = ReadBytes(out + "\\fleet.csv");
  const std::string row = csv.substr(csv.find('\n') + 1);
  std::vector<std::string> cells(1);
  for (const char c : row.substr(0, row.find('\r'))) {
    if (c == ',') cells.emplace_back();
    else cells.back() += c;
  }
  ASSERT_EQ(cells.size(), 16u) << csv;
  EXPECT_EQ(cells[1], "clean");
  EXPECT_EQ(cells[2], "0");
  EXPECT_EQ(cells[12], "4");
  EXPECT_EQ(cells[13], "") << "the latest run left nothing";
  EXPECT_EQ(csv.find('\n', csv.find('\n') + 1) + 1, csv.size()) << "one machine, one row";
  EXPECT_TRUE(Has(ReadBytes(out + "\\fleet.html"), "data-outcome=\"clean\" data-count=\"1\""));
  EXPECT_EQ(installation.TargetsLeft(), std::vector<std::string>{});
}
