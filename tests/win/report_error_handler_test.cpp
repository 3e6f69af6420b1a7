#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/errors.h"
#include "platform/text/app_title.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/test_context.h"
#include "tests/support/test_window.h"
#include "ui/application_window.h"
#include "ui/error_handler.h"

namespace {

TEST(ErrorBox, ShowsTheMessageWithFullStopUnderTheTitleWithStopIconAndOk) {
  DialogAnswerer answerer(IDOK);
  HandleError(nullptr, EInOutError(103));
  const auto dialogs = answerer.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  const DialogRecord& box = dialogs[0];
  EXPECT_EQ(box.className, "#32770");
  EXPECT_EQ(box.caption, ApplicationTitle());
  EXPECT_EQ(box.text, "I/O error 103.");
  EXPECT_EQ(box.Icon(), LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_HAND)));
  EXPECT_TRUE(box.HasButton(IDOK));
  EXPECT_FALSE(box.HasButton(IDCANCEL));
  EXPECT_FALSE(box.HasButton(IDYES));
  EXPECT_EQ(box.owner, ApplicationWindow());
  EXPECT_EQ(box.answersGiven, 1);
}

TEST(ErrorBox, AppliesTheFullStopRuleToEveryMessage) {
  const char* const messages[] = {"File not found", "Already ends.", "Blank ", "Wow!", "(in brackets)"};
  const char* const shown[] = {"File not found.", "Already ends.", "Blank ", "Wow!", "(in brackets)"};
  DialogAnswerer answerer(IDOK);
  for (const char* message : messages) HandleError(nullptr, Exception(message));
  const auto dialogs = answerer.Dialogs();
  ASSERT_EQ(dialogs.size(), std::size(shown));
  for (std::size_t i = 0; i < std::size(shown); ++i) EXPECT_EQ(dialogs[i].text, shown[i]);
}

TEST(ErrorBox, MarksTheOutcomeSoTheExitCodeTellsOfTheError) {
  TestContext test;
  DialogAnswerer answerer(IDOK);
  HandleError(&test.context, ERegistryException("Failed to set data for 'x'"));
  EXPECT_TRUE(test.context.outcome.errorShown);
  EXPECT_EQ(test.context.outcome.ExitCode(), 2);
  EXPECT_EQ(answerer.Dialogs().size(), 1u);
}

TEST(ErrorBox, DisablesTheProgramsWindowsWhileOpenAndReactivatesAfter) {
  TestWindow first("first");
  TestWindow second("second");
  SetActiveWindow(first.Get());
  std::atomic<int> enabledWhileOpen{-1};
  DialogAnswerer answerer({DialogAnswer::Press(IDOK)}, [&](const DialogRecord&) {
    enabledWhileOpen = (IsWindowEnabled(first.Get()) ? 1 : 0) + (IsWindowEnabled(second.Get()) ? 1 : 0);
  });
  HandleError(nullptr, Exception("Boom"));
  ASSERT_EQ(answerer.Dialogs().size(), 1u);
  EXPECT_EQ(enabledWhileOpen.load(), 0);
  EXPECT_TRUE(IsWindowEnabled(first.Get()));
  EXPECT_TRUE(IsWindowEnabled(second.Get()));
  EXPECT_EQ(GetActiveWindow(), first.Get());
}

TEST(ErrorBox, CancelsAMouseCaptureBeforeTheBoxOpens) {
  // Hidden, so that no disabling of the window cancels the capture in its place.
  TestWindow window("capture", false);
  SetCapture(window.Get());
  ASSERT_EQ(GetCapture(), window.Get());
  std::atomic<int> cancelsWhenOpen{-1};
  DialogAnswerer answerer({DialogAnswer::Press(IDOK)},
                          [&](const DialogRecord&) { cancelsWhenOpen = window.CancelModeCount(); });
  HandleError(nullptr, Exception("Boom"));
  EXPECT_EQ(cancelsWhenOpen.load(), 1);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST(Guarded, AbandonsTheHandlerAtTheErrorAndShowsIt) {
  TestContext test;
  DialogAnswerer answerer(IDOK);
  int reached = 0;
  Guarded(&test.context, [&] {
    reached = 1;
    throw EInOutError(2);
  });
  Guarded(&test.context, [&] { reached = 2; });
  EXPECT_EQ(reached, 2);
  const auto dialogs = answerer.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].text, "File not found.");
  EXPECT_TRUE(test.context.outcome.errorShown);
}

TEST(Guarded, ShowsNothingWhenTheHandlerSucceeds) {
  TestContext test;
  DialogAnswerer answerer(IDOK);
  Guarded(&test.context, [] {});
  EXPECT_TRUE(answerer.Dialogs().empty());
  EXPECT_FALSE(test.context.outcome.errorShown);
}

}  // namespace
