#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/wine_test_support.h"

namespace {

struct Started {
  UniqueKernelHandle process;
  DWORD id = 0;
};

Started StartBoxOpener(const std::string& arguments) {
  const std::string exe = HelperPath("box_opener.exe");
  std::string commandLine = "\"" + exe + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Started started;
  if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    started.process.Reset(info.hProcess);
    started.id = info.dwProcessId;
    CloseHandle(info.hThread);
  }
  return started;
}

DWORD ExitCodeAfterEnd(const Started& started) {
  WaitForSingleObject(started.process.Get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(started.process.Get(), &code);
  return code;
}

TEST(AnswerDialogsOfProcess, AnswersEachBoxOfAnotherProcessInOrderUntilItEnds) {
  const Started started = StartBoxOpener("first second third");
  ASSERT_TRUE(started.process);
  const auto dialogs = AnswerDialogsOfProcess(
      started.id, {DialogAnswer::Press(IDYES), DialogAnswer::Press(IDNO), DialogAnswer::Key(VK_RETURN)});
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[0].caption, "Box opener");
  EXPECT_EQ(dialogs[0].text, "first");
  EXPECT_EQ(dialogs[1].text, "second");
  EXPECT_EQ(dialogs[2].text, "third");
  EXPECT_TRUE(dialogs[0].HasButton(IDYES));
  EXPECT_TRUE(dialogs[0].HasButton(IDNO));
  // Enter presses the default button, Yes.
  EXPECT_EQ(ExitCodeAfterEnd(started), static_cast<DWORD>(IDYES * 100 + IDNO * 10 + IDYES));
}

TEST(AnswerDialogsOfProcess, StopsAfterTheNumberOfBoxesAsked) {
  const Started started = StartBoxOpener("only");
  ASSERT_TRUE(started.process);
  const auto dialogs = AnswerDialogsOfProcess(started.id, {DialogAnswer::Press(IDNO)}, 1);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(ExitCodeAfterEnd(started), static_cast<DWORD>(IDNO));
}

TEST(AnswerDialogsOfProcess, ReturnsNothingForAProcessThatShowsNoBox) {
  const Started started = StartBoxOpener("");
  ASSERT_TRUE(started.process);
  EXPECT_TRUE(AnswerDialogsOfProcess(started.id, {DialogAnswer::Press(IDOK)}).empty());
}

TEST(DialogAnswerer, TakesOnlyBoxClassesForBoxes) {
  UniqueWindow window(CreateWindowExA(0, "STATIC", "not a box", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(window);
  EXPECT_FALSE(IsAnswerableDialog(window.Get(), GetCurrentProcessId()));
}

}  // namespace
