#include "report/trace_log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "engine/cleaner_context.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/text/time_stamp.h"
#include "tests/support/test_context.h"
#include "tests/support/wine_test_support.h"

namespace {
struct LogLine {
  std::string stamp;
  std::string message;
};

// Splits the bytes on disk into lines of stamp, three blanks and message, each ending CR LF.
std::vector<LogLine> ParseLog(const std::string& bytes) {
  std::vector<LogLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated line";
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(start, end - start);
    const std::size_t gap = line.find("   ");
    EXPECT_NE(gap, std::string::npos) << line;
    if (gap == std::string::npos) break;
    lines.push_back({line.substr(0, gap), line.substr(gap + 3)});
    start = end + 2;
  }
  return lines;
}

std::size_t SizeOnDisk(const std::string& path) { return ReadBytes(path).size(); }

// Restores the process's current folder when a test changed it.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& path) {
    GetCurrentDirectoryA(MAX_PATH, previous_);
    SetCurrentDirectoryA(path.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(previous_); }

 private:
  char previous_[MAX_PATH] = {};
};

}  // namespace

TEST(TraceLog, EachLineIsStampBlanksMessageAndLineEnd) {
  ScratchFolder folder("trace");
  const std::string path = folder / "VC.LOG";
  TraceLog log;
  log.Open(path);
  const std::string before = TimeStamp();
  log.Write("Log file created");
  log.Write("DeleteRegKey 5");
  const std::string after = TimeStamp();
  log.Close();

  const std::string bytes = ReadBytes(path);
  const auto lines = ParseLog(bytes);
  ASSERT_EQ(lines.size(), 2u) << bytes;
  EXPECT_EQ(lines[0].message, "Log file created");
  EXPECT_EQ(lines[1].message, "DeleteRegKey 5");
  for (const auto& line : lines) {
    EXPECT_TRUE(line.stamp == before || line.stamp == after) << line.stamp << " not within " << before << " .. " << after;
  }
  EXPECT_EQ(bytes, lines[0].stamp + "   Log file created\r\n" + lines[1].stamp + "   DeleteRegKey 5\r\n");
}

TEST(TraceLog, DiskSeesNothingBeforeTheFirstFullBlockAndEverythingAfterClose) {
  ScratchFolder folder("traceblock");
  const std::string path = folder / "VC.LOG";
  TraceLog log;
  log.Open(path);
  EXPECT_TRUE(IsExistingFile(path));
  EXPECT_EQ(SizeOnDisk(path), 0u);
  log.Write("short");
  EXPECT_EQ(SizeOnDisk(path), 0u);
  while (SizeOnDisk(path) == 0) log.Write("filling the first block");
  EXPECT_EQ(SizeOnDisk(path), 128u);
  const std::string firstBlock = ReadBytes(path);
  log.Close();
  const std::string all = ReadBytes(path);
  EXPECT_GT(all.size(), 128u);
  EXPECT_EQ(all.substr(0, 128), firstBlock);
  const auto lines = ParseLog(all);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front().message, "short");
  EXPECT_EQ(lines.back().message, "filling the first block");
  EXPECT_FALSE(log.IsOpen());
}

TEST(TraceLog, OpenEmptiesAnOldLogButASecondOpenKeepsTheOpenOne) {
  ScratchFolder folder("tracereopen");
  const std::string path = folder / "VC.LOG";
  WriteBytes(path, "an old log\r\n");
  TraceLog log;
  log.Open(path);
  EXPECT_EQ(SizeOnDisk(path), 0u);
  log.Write("one");
  log.Open(path);
  log.Write("two");
  log.Close();
  const auto lines = ParseLog(ReadBytes(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].message, "one");
  EXPECT_EQ(lines[1].message, "two");
}

TEST(TraceLog, DefaultFileIsVcLogInTheCurrentFolder) {
  ScratchFolder folder("tracecwd");
  {
    CurrentFolder here(folder.Path());
    TraceLog log;
    log.Open(kTraceLogFileName);
    log.Write("here");
    log.Close();
  }
  const auto lines = ParseLog(ReadBytes(folder / "VC.LOG"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "here");
}

TEST(TraceLog, FailedCreationRaisesThenWritesAndCloseDoNothing) {
  ScratchFolder folder("tracefail");
  const std::string path = folder / "missing folder\\VC.LOG";
  TraceLog log;
  try {
    log.Open(path);
    FAIL() << "no error raised";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Code(), 3);
    EXPECT_EQ(error.Message(), "Invalid filename");
  }
  EXPECT_FALSE(log.IsOpen());
  EXPECT_NO_THROW(log.Write("lost"));
  EXPECT_NO_THROW(log.Close());
  EXPECT_NO_THROW(log.Close());
  EXPECT_FALSE(IsExistingFolder(folder / "missing folder"));
}

TEST(TraceLog, ALogLeftOpenIsCompleteOnceDestroyed) {
  ScratchFolder folder("tracedtor");
  {
    TraceLog log;
    log.Open(folder / "VC.LOG");
    log.Write("not closed");
  }
  const auto lines = ParseLog(ReadBytes(folder / "VC.LOG"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "not closed");
}

TEST(TraceIfOn, WritesOnlyWhenTheTraceIsOn) {
  ScratchFolder folder("traceifon");
  TestContext test;
  test.trace.Open(folder / "VC.LOG");
  TraceIfOn(test.context, "while off");
  test.state.TraceLogOn = true;
  TraceIfOn(test.context, "while on");
  test.trace.Close();
  const auto lines = ParseLog(ReadBytes(folder / "VC.LOG"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "while on");
}
