#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>

#include "platform/handles.h"
#include "platform/text/app_title.h"
#include "tests/support/wine_test_support.h"
#include "ui/application_window.h"

namespace {

constexpr char kProbeVariable[] = "CLEANER_TITLE_PROBE";

// A copy of this test program started with kProbeVariable set writes its application title
// to the file the variable names and ends before any test runs.
const bool probeDone = [] {
  char file[MAX_PATH] = {};
  if (GetEnvironmentVariableA(kProbeVariable, file, MAX_PATH) == 0) return false;
  const std::string title = ApplicationTitle();
  WriteBytes(file, title);
  ExitProcess(0);
}();

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Runs a copy of this program under the given name and returns the title it reports.
std::string TitleOfCopyNamed(const ScratchFolder& folder, const std::string& name) {
  const std::string exe = folder / name;
  const std::string output = folder / "title.txt";
  if (!CopyFileA(OwnPath().c_str(), exe.c_str(), FALSE)) return "<copy failed>";
  SetEnvironmentVariableA(kProbeVariable, output.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Should the probe not take over, the copy runs no test (and starts no copy of its own).
  std::string commandLine = "\"" + exe + "\" --gtest_filter=NoTestHasThisName";
  const BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info);
  SetEnvironmentVariableA(kProbeVariable, nullptr);
  if (!started) return "<start failed>";
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  return ReadBytes(output);
}

struct NamedCopy {
  const char* fileName;
  const char* title;
};

void PrintTo(const NamedCopy& c, std::ostream* out) { *out << c.fileName; }

class ApplicationTitleOfExecutable : public ::testing::TestWithParam<NamedCopy> {};

TEST_P(ApplicationTitleOfExecutable, ComesFromTheFileNameTheSystemReports) {
  ScratchFolder folder("title");
  EXPECT_EQ(TitleOfCopyNamed(folder, GetParam().fileName), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(Names, ApplicationTitleOfExecutable,
                         ::testing::Values(NamedCopy{"A.B.C.EXE", "A"}, NamedCopy{"CLEANER.EXE", "Cleaner"},
                                           NamedCopy{"My.Tool.exe", "My"}, NamedCopy{"vELMORA.exe", "velmora"}));

TEST(ApplicationTitle, OfTheTestProgramItself) {
  EXPECT_FALSE(probeDone);
  EXPECT_EQ(ApplicationTitle(), "win_tests");
}

TEST(ApplicationWindow, IsOneHiddenTopLevelWindowNamedAfterTheTitle) {
  const HWND window = ApplicationWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ApplicationWindow(), window);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetParent(window), nullptr);
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  EXPECT_EQ(std::string(text), ApplicationTitle());
}

}  // namespace
