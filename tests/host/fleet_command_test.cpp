#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "report/run_record.h"
#include "tools/fleet/fleet_command.h"
#include "tools/fleet/spill_sort.h"
#include "tools/rule_tool.h"

namespace fs = std::filesystem;

namespace {

struct Machine {
  const char* computer;
  int exitCode;
  const char* end;
  std::vector<std::string> left;  // lines listed; refusals among them
  std::vector<std::string> failures;
};

// Every outcome once, a machine that left two lines, and PC-TWICE first left something and
// then came out clean (the latest run counts).
const Machine kFleet[] = {
    {"PC-CLEAN", 0, "2026-12-07T10:00:05+01:00", {}, {}},
    {"PC-RESTART", 3010, "2026-12-07T10:00:05+01:00", {}, {}},
    {"PC-LEFT", 1, "2026-12-07T10:00:05+01:00", {"Could NOT delete C:\\P\\a.dll", "Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"}, {"c.dll"}},
    {"PC-LEFT2", 1, "2026-12-07T10:00:05+01:00", {"=cmd|' /C calc'!A0", "Could NOT delete C:\\P\\a.dll", "Could NOT delete C:\\P\\\x1B[2Jx.dll"}, {}},
    {"PC-FAILED", 2, "2026-12-07T10:00:05+01:00", {}, {}},
    {"PC-BADLINE", 1639, "2026-12-07T10:00:05+01:00", {}, {}},
    {"PC-BUSY", 1618, "2026-12-07T10:00:05+01:00", {}, {}},
    {"pc-twice", 1, "2026-12-06T22:00:00Z", {"Could NOT delete C:\\P\\a.dll"}, {}},
    {"PC-TWICE", 0, "2026-12-07T08:00:00+01:00", {}, {}},
};

std::string ReportOf(const Machine& machine, int schema) {
  RunRecord record;
  for (const std::string& line : machine.left) record.Listed(line, false);
  for (const std::string& file : machine.failures) record.Change("remove-file", "C:\\P\\" + file, 5);
  if (machine.exitCode == 2) record.Error("File with rule does not Exist.");
  const RunFacts facts{"2.1.0.7 (abc1234)", machine.computer, "DOM\\admin", "Cleaner.exe /Q", "C:\\C\\Do_list.dat",
                       machine.exitCode == 2 ? "" : "00ff"};
  std::string json = ReportJson(facts, {}, {"2026-12-07T09:59:00+01:00", machine.end}, record, machine.exitCode);
  if (schema != kReportSchemaVersion) {
    json.replace(json.find(":1,"), 3, ":" + std::to_string(schema) + ",\"later\":{\"x\":[1]},");
  }
  return json;
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::vector<std::string>> CsvRows(std::string text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::vector<std::vector<std::string>> rows(1);
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += text[++i];
      else if (c == '"') quoted = false;
      else cell += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(cell);
      cell.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(cell);
      cell.clear();
      rows.emplace_back();
      ++i;
    } else {
      cell += c;
    }
  }
  rows.pop_back();
  return rows;
}

class FleetCommand : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("fleet_command_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    int i = 0;
    for (const Machine& machine : kFleet) {
      Write(root_ / "reports" / (i % 2 ? "site-a" : "site-b") / ("run" + std::to_string(i) + ".JSON"), ReportOf(machine, 1));
      ++i;
    }
    Write(root_ / "reports" / "newer.json", ReportOf({"PC-NEWER", 0, "2026-12-07T10:00:05+01:00", {}, {}}, 2));
    Write(root_ / "reports" / "older.json", ReportOf({"PC-OLDER", 0, "2026-12-07T10:00:05+01:00", {}, {}}, 0));
    const std::string cut = ReportOf(kFleet[0], 1);
    Write(root_ / "reports" / "cut.json", cut.substr(0, cut.size() / 2));
    Write(root_ / "reports" / "junk.json", "Access is denied.\r\n");
    Write(root_ / "reports" / "run0.log", "a trace log, not a report");
    Write(root_ / "expect.txt", "# the inventory\r\npc-clean.corp.example\r\nPC-RESTART\r\n\r\nPC-LEFT\r\nPC-LEFT2\r\n"
                                "PC-FAILED\r\nPC-BADLINE\r\nPC-BUSY\r\nPC-TWICE\r\nPC-NEWER\r\nPC-GONE\r\n");
  }
  void TearDown() override { fs::remove_all(root_); }

  int Run(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int code = RunRuleTool(arguments, out, err);
    out_ = out.str();
    err_ = err.str();
    return code;
  }

  // The count the printed table gives for an outcome.
  long long TextCount(const std::string& outcome) const {
    const std::size_t at = out_.find("\n  " + outcome + "  ");
    if (at == std::string::npos) return -1;
    const std::size_t digits = out_.find_first_not_of(' ', at + 3 + outcome.size());
    return std::stoll(out_.substr(digits, out_.find(' ', digits) - digits));
  }

  fs::path root_;
  std::string out_, err_;
};

}  // namespace

TEST_F(FleetCommand, TheTableTheCsvAndThePageAgreeWithTheReports) {
  const fs::path out = root_ / "out";
  ASSERT_EQ(Run({"fleet", (root_ / "reports").string(), "--expect", (root_ / "expect.txt").string(), "-o", out.string()}),
            kToolFindings) << err_;
  const std::map<std::string, long long> expected = {
      {"clean", 3},  // PC-CLEAN, PC-TWICE by its latest run, PC-NEWER
      {"restart pending", 1}, {"left", 2}, {"failed", 1}, {"refused command line", 1}, {"another copy running", 1},
      {"never reported", 1}};

  const auto rows = CsvRows(ReadAll(out / "fleet.csv"));
  ASSERT_EQ(rows.size(), 11u);  // the header, nine machines, the one that never reported
  EXPECT_EQ(rows[0][0], "machine");
  std::map<std::string, long long> fromCsv;
  std::map<std::string, std::vector<std::string>> byMachine;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), rows[0].size()) << i;
    ++fromCsv[rows[i][1]];
    byMachine[rows[i][0]] = rows[i];
  }
  const std::string html = ReadAll(out / "fleet.html");
  for (const auto& [outcome, count] : expected) {
    EXPECT_EQ(TextCount(outcome), count) << outcome << "\n" << out_;
    EXPECT_EQ(fromCsv[outcome], count) << outcome;
    EXPECT_NE(html.find("data-outcome=\"" + outcome + "\" data-count=\"" + std::to_string(count) + "\""),
              std::string::npos) << outcome;
  }
  EXPECT_EQ(ReadAll(out / "fleet-summary.txt"), out_);

  // The latest run counts, and the CSV says how many there were.
  EXPECT_EQ(byMachine["PC-TWICE"][1], "clean");
  EXPECT_EQ(byMachine["PC-TWICE"][12], "2");
  EXPECT_EQ(byMachine["PC-GONE"][1], "never reported");
  EXPECT_EQ(byMachine["PC-LEFT"][14], "Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes");
  EXPECT_EQ(byMachine["PC-LEFT2"][13], "'=cmd|' /C calc'!A0");  // kept from being taken for a formula
  EXPECT_EQ(byMachine["PC-FAILED"][11], "");

  for (const char* part : {
           "Fleet: 9 machines reported, 10 reports read, 3 unreadable; 10 expected, 1 never reported",
           "        2  Could NOT delete C:\\P\\a.dll  (PC-LEFT, PC-LEFT2)",
           "        1  Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes  (PC-LEFT)",
           "        1  error: File with rule does not Exist.  (PC-FAILED)",
           "        8  00ff  (PC-BADLINE, PC-BUSY, PC-CLEAN, ...)",
           "The fleet ran 2 different rule files.",
           "Machines that reported more than once: 1 (2 runs); each counts by its latest run: PC-TWICE (2 runs)",
           "Reports of a newer schema than this tool knows (1): 1, up to version 2; read for the fields it knows.",
           "Machines that never reported: 1\n  PC-GONE\n",
           "older.json: schema version 0, older than any this tool reads (1 to 1)",
           "cut.json: truncated: the file ends at byte ",
           "junk.json: not JSON: unexpected 'A' at byte 0",
       }) {
    EXPECT_NE(out_.find(part), std::string::npos) << part << "\n" << out_;
  }
  EXPECT_EQ(out_.find("run0.log"), std::string::npos);
  // A machine's escape sequence reaches the terminal as text, not as a command to it.
  EXPECT_EQ(out_.find('\x1B'), std::string::npos);
  EXPECT_NE(out_.find("Could NOT delete C:\\P\\?[2Jx.dll  (PC-LEFT2)"), std::string::npos);
  EXPECT_NE(html.find("<svg"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("<td>=cmd|&#39; /C calc&#39;!A0</td>"), std::string::npos);
  EXPECT_FALSE(fs::exists(out / "fleet.csv.part"));
  for (const auto& entry : fs::directory_iterator(out)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("RuleTool-fleet-")) << "scratch folder left behind";
  }
}

TEST_F(FleetCommand, FilesNamedOneByOneAndMistakesOnTheCommandLine) {
  const std::string clean = (root_ / "reports" / "site-b" / "run0.JSON").string();
  EXPECT_EQ(Run({"fleet", clean, (root_ / "reports" / "site-a" / "run1.JSON").string()}), kToolDone) << err_;
  EXPECT_EQ(TextCount("clean"), 1);
  EXPECT_EQ(TextCount("restart pending"), 1);
  EXPECT_EQ(out_.find("never reported"), std::string::npos);

  EXPECT_EQ(Run({"fleet", clean, (root_ / "nowhere").string()}), kToolFindings);
  EXPECT_NE(out_.find("nowhere: no such file or folder"), std::string::npos) << out_;

  const struct {
    std::vector<std::string> arguments;
    const char* problem;
  } mistakes[] = {
      {{"fleet"}, "fleet needs a folder or report files"},
      {{"fleet", clean, "--csv"}, "--csv needs a value"},
      {{"fleet", clean, "--sideways"}, "fleet does not know \"--sideways\""},
      {{"fleet", clean, "--expect", (root_ / "none.txt").string()}, "cannot read the expect list"},
      {{"fleet", clean, "--csv", (root_ / "no" / "such" / "x.csv").string()}, "cannot write"},
  };
  for (const auto& mistake : mistakes) {
    EXPECT_EQ(Run(mistake.arguments), kToolFailed) << mistake.problem;
    EXPECT_NE(err_.find(mistake.problem), std::string::npos) << err_;
  }
}

TEST(FleetSpillSort, ManyBuffersMergeIntoOneOrder) {
  const fs::path base = fs::temp_directory_path() / ("fleet_spill_" + std::to_string(::getpid()));
  fs::create_directories(base);
  {
    FleetScratch scratch(base);
    // 40-byte buffers: every line or two goes to a file, and the files merge in two rounds.
    SpillSort sort(scratch, [](std::string_view a, std::string_view b) { return a < b; }, 40);
    std::vector<std::string> lines;
    for (int i = 0; i < 1500; ++i) lines.push_back("line " + std::to_string((i * 7919) % 1500));
    for (const std::string& line : lines) sort.Add(line);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> sorted;
    for (std::string line; sort.Next(line);) sorted.push_back(line);
    EXPECT_EQ(sorted, lines);
  }
  EXPECT_TRUE(fs::is_empty(base));  // the scratch folder went with its files
  fs::remove_all(base);
}
