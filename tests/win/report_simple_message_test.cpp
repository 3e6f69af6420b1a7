#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <ostream>
#include <string>

#include "platform/handles.h"
#include "platform/text/app_title.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/test_window.h"
#include "ui/messages.h"

namespace {

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

DialogRecord ShowAndAnswer(const std::string& text, DialogAnswer answer = DialogAnswer::Press(IDOK)) {
  DialogAnswerer answerer({answer});
  ShowSimpleMessage(text);
  const auto dialogs = answerer.Dialogs();
  EXPECT_EQ(dialogs.size(), 1u);
  return dialogs.empty() ? DialogRecord{} : dialogs[0];
}

TEST(SimpleMessage, IsAProgramMadeDialogWithTheTitleTheTextAndOneDefaultOk) {
  const DialogRecord box = ShowAndAnswer("Registry clean complete");
  EXPECT_EQ(box.className, kSimpleMessageClass);
  EXPECT_EQ(box.caption, ApplicationTitle());
  EXPECT_EQ(box.text, "Registry clean complete");
  ASSERT_EQ(box.controls.size(), 2u);
  const DialogControl* ok = box.Control(IDOK);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text, "OK");
  EXPECT_EQ(ok->style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(box.defaultId, IDOK);
  EXPECT_EQ(box.Icon(), nullptr);
}

TEST(SimpleMessage, HasADialogBorderThatDoesNotResize) {
  const DialogRecord box = ShowAndAnswer("File with rule does not Exist");
  EXPECT_TRUE(box.exStyle & WS_EX_DLGMODALFRAME);
  EXPECT_EQ(box.style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(box.style & WS_SYSMENU);
  EXPECT_FALSE(box.style & WS_THICKFRAME);
  EXPECT_FALSE(box.style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(box.style & WS_MINIMIZEBOX);
}

class SimpleMessageCloses : public ::testing::TestWithParam<DialogAnswer> {};

// Enter, Escape, the OK button and the close box each close it at the first attempt.
TEST_P(SimpleMessageCloses, AtTheFirstAnswer) {
  const DialogRecord box = ShowAndAnswer("Registry clean complete", GetParam());
  EXPECT_EQ(box.answersGiven, 1);
  EXPECT_FALSE(box.forcedClose);
}

INSTANTIATE_TEST_SUITE_P(Answers, SimpleMessageCloses,
                         ::testing::Values(DialogAnswer::Key(VK_RETURN), DialogAnswer::Key(VK_ESCAPE),
                                           DialogAnswer::Press(IDOK), DialogAnswer::Close()));

TEST(SimpleMessage, IsCentredOnTheScreen) {
  const DialogRecord box = ShowAndAnswer("Registry clean complete");
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(box.windowRect.left, screenWidth / 2 - Width(box.windowRect) / 2);
  EXPECT_EQ(box.windowRect.top, screenHeight / 2 - Height(box.windowRect) / 2);
}

// The message font measured here, independently of the dialog.
struct FontMeasures {
  int average = 0;
  int height = 0;
  int okWidth = 0;
  RECT text{};
};

FontMeasures MeasureInMessageFont(const std::string& text) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  EXPECT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
  const UniqueGdiObject font(CreateFontIndirectA(&metrics.lfMessageFont));
  WindowDc screen(nullptr);
  SelectedObject selected(screen.Get(), font.Get());
  FontMeasures measures;
  SIZE size{};
  const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32A(screen.Get(), letters, 52, &size);
  measures.average = size.cx / 52;
  measures.height = size.cy;
  GetTextExtentPoint32A(screen.Get(), "OK", 2, &size);
  measures.okWidth = size.cx;
  measures.text = {0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(screen.Get(), text.c_str(), static_cast<int>(text.size()), &measures.text,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  return measures;
}

TEST(SimpleMessage, GeometryFollowsTheDialogUnitsOfTheMessageFont) {
  const std::string text = "Registry clean complete";
  const FontMeasures m = MeasureInMessageFont(text);
  ASSERT_GT(m.average, 0);
  const DialogRecord box = ShowAndAnswer(text);
  const DialogControl* label = box.Control(kSimpleMessageTextId);
  const DialogControl* ok = box.Control(IDOK);
  ASSERT_NE(label, nullptr);
  ASSERT_NE(ok, nullptr);

  const int marginX = MulDiv(8, m.average, 4);
  const int marginY = MulDiv(8, m.height, 8);
  EXPECT_EQ(label->rect.left, marginX);
  EXPECT_EQ(label->rect.top, marginY);
  EXPECT_EQ(Width(label->rect), Width(m.text));
  EXPECT_EQ(Height(label->rect), Height(m.text));

  EXPECT_EQ(Height(ok->rect), MulDiv(14, m.height, 8));
  EXPECT_EQ(Width(ok->rect), std::max(MulDiv(50, m.average, 4), m.okWidth + 8));
  EXPECT_EQ(ok->rect.top, label->rect.bottom + MulDiv(10, m.height, 8));
  EXPECT_EQ(ok->rect.left, (Width(box.clientRect) - Width(ok->rect)) / 2);

  EXPECT_EQ(Width(box.clientRect), std::max(Width(m.text), Width(ok->rect)) + 2 * marginX);
  EXPECT_EQ(Height(box.clientRect), ok->rect.bottom + marginY);
}

TEST(SimpleMessage, ALongTextWrapsWithinHalfTheScreenWidth) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
  const FontMeasures m = MeasureInMessageFont(text);
  const DialogRecord box = ShowAndAnswer(text);
  const DialogControl* label = box.Control(kSimpleMessageTextId);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text, text);
  EXPECT_LE(Width(label->rect), GetSystemMetrics(SM_CXSCREEN) / 2);
  EXPECT_GE(Height(label->rect), 3 * m.height);
  EXPECT_EQ(Height(label->rect), Height(m.text));
}

TEST(SimpleMessage, ExpandsTabs) {
  const FontMeasures plain = MeasureInMessageFont("ab");
  const DialogRecord box = ShowAndAnswer("a\tb");
  const DialogControl* label = box.Control(kSimpleMessageTextId);
  ASSERT_NE(label, nullptr);
  // A tab stop is eight average characters wide.
  EXPECT_GT(Width(label->rect), Width(plain.text) + 4 * plain.average);
}

TEST(SimpleMessage, IsModalForEveryOtherWindowAndGivesActivationBack) {
  TestWindow first("first");
  TestWindow second("second");
  SetActiveWindow(second.Get());
  std::atomic<int> enabledWhileOpen{-1};
  DialogAnswerer answerer({DialogAnswer::Press(IDOK)}, [&](const DialogRecord&) {
    enabledWhileOpen = (IsWindowEnabled(first.Get()) ? 1 : 0) + (IsWindowEnabled(second.Get()) ? 1 : 0);
  });
  ShowSimpleMessage("Registry clean complete");
  ASSERT_EQ(answerer.Dialogs().size(), 1u);
  EXPECT_EQ(enabledWhileOpen.load(), 0);
  EXPECT_TRUE(IsWindowEnabled(first.Get()));
  EXPECT_TRUE(IsWindowEnabled(second.Get()));
  EXPECT_EQ(GetActiveWindow(), second.Get());
  EXPECT_FALSE(FindWindowA(kSimpleMessageClass, nullptr));
}

struct ConfirmCase {
  int button;
  bool answer;
};

void PrintTo(const ConfirmCase& c, std::ostream* out) { *out << "button " << c.button; }

class Confirmation : public ::testing::TestWithParam<ConfirmCase> {};

// Only Yes deletes; a box dismissed any other way (Escape, its close box) keeps the files.
TEST_P(Confirmation, IsYesOnlyWhenYesIsPressed) {
  DialogAnswerer answerer(GetParam().button);
  EXPECT_EQ(ConfirmYesNo(nullptr, "Delete the folders?"), GetParam().answer);
  const auto dialogs = answerer.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  const DialogRecord& box = dialogs[0];
  EXPECT_EQ(box.className, "#32770");
  EXPECT_EQ(box.caption, "Confirm File Delete");
  EXPECT_EQ(box.text, "Delete the folders?");
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_TRUE(box.HasButton(IDYES));
  EXPECT_TRUE(box.HasButton(IDNO));
  EXPECT_FALSE(box.HasButton(IDOK));
  EXPECT_EQ(box.Icon(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Confirmation,
                         ::testing::Values(ConfirmCase{IDYES, true}, ConfirmCase{IDNO, false},
                                           ConfirmCase{IDCANCEL, false}));

// The question is owned by the main window, so its folder fields cannot change while it is open.
TEST(Confirmation, DisablesItsOwnerWhileOpen) {
  TestWindow window("main");
  std::atomic<int> enabledWhileOpen{-1};
  DialogAnswerer answerer({DialogAnswer::Press(IDYES)},
                          [&](const DialogRecord&) { enabledWhileOpen = IsWindowEnabled(window.Get()) ? 1 : 0; });
  EXPECT_TRUE(ConfirmYesNo(window.Get(), "Delete?"));
  EXPECT_EQ(enabledWhileOpen.load(), 0);
  EXPECT_TRUE(IsWindowEnabled(window.Get()));
  ASSERT_EQ(answerer.Dialogs().size(), 1u);
  EXPECT_EQ(answerer.Dialogs()[0].owner, window.Get());
}

}  // namespace
