#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/cleaner_context.h"
#include "ui/desktop_reporter.h"
#include "ui/info_window.h"
#include "tests/support/test_context.h"
#include "tests/support/wine_test_support.h"

namespace {

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::string ClosedTrace(TestContext& test, const std::string& path) {
  test.trace.Close();
  return ReadBytes(path);
}

TEST(AddInfo, InRunModeOneShowsNothingButTracesAndCounts) {
  ScratchFolder folder("addinfo1");
  TForm2 form;
  DesktopReporter reporter(&form);
  TestContext test(&reporter);
  test.state.RunMode = 1;
  test.state.TraceLogOn = true;
  const std::string log = folder / "VC.LOG";
  test.trace.Open(log);

  AddInfo(test.context, "Could NOT delete   C:\\QRV\\one.dll");
  AddInfo(test.context, "Could NOT delete C:\\QRV\\two.dll");

  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(GetWindowTextLengthA(form.Memo1()), 0);
  EXPECT_EQ(test.context.outcome.notRemoved, 2);
  EXPECT_EQ(test.context.outcome.ExitCode(), 1);
  const std::string trace = ClosedTrace(test, log);
  EXPECT_EQ(CountOf(trace, "   Could NOT delete   C:\\QRV\\one.dll\r\n"), 1) << trace;
  EXPECT_EQ(CountOf(trace, "   Could NOT delete C:\\QRV\\two.dll\r\n"), 1) << trace;
}

TEST(AddInfo, InRunModeZeroShowsTracesAndCounts) {
  ScratchFolder folder("addinfo0");
  TestContext test;
  test.state.RunMode = 0;
  test.state.TraceLogOn = true;
  const std::string log = folder / "VC.LOG";
  test.trace.Open(log);

  AddInfo(test.context, "Could NOT delete   C:\\QRV\\a");
  EXPECT_EQ(test.reporter.infoLines, std::vector<std::string>{"Could NOT delete   C:\\QRV\\a"});
  EXPECT_EQ(test.context.outcome.notRemoved, 1);
  EXPECT_EQ(CountOf(ClosedTrace(test, log), "Could NOT delete   C:\\QRV\\a\r\n"), 1);
}

TEST(AddInfo, WithTheTraceLogOffOnlyShowsAndCounts) {
  TestContext test;
  test.state.TraceLogOn = false;
  AddInfo(test.context, "line");
  AddInfo(test.context, "line");
  EXPECT_EQ(test.reporter.infoLines.size(), 2u);
  EXPECT_EQ(test.context.outcome.notRemoved, 2);
  EXPECT_FALSE(test.trace.IsOpen());
}

}  // namespace
