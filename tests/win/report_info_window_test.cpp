#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ui/desktop_reporter.h"
#include "ui/info_window.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/test_window.h"

namespace {

std::string MemoText(const TForm2& form) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(form.Memo1())) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(form.Memo1(), text.data(), static_cast<int>(text.size()))));
  return text;
}

// Text typed by the user at the end of the list.
void TypeAtEnd(const TForm2& form, const char* typed) {
  const int length = GetWindowTextLengthA(form.Memo1());
  SendMessageA(form.Memo1(), EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageA(form.Memo1(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(typed));
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

TEST(InformationWindow, IsCreatedHiddenWithItsCaptionSizeAndFrame) {
  TForm2 form;
  ASSERT_NE(form.Handle(), nullptr);
  EXPECT_FALSE(form.Visible());
  char caption[256] = {};
  GetWindowTextA(form.Handle(), caption, sizeof caption);
  EXPECT_STREQ(caption, "QRV Registry Cleaner - Information list");
  const RECT outer = WindowRect(form.Handle());
  EXPECT_EQ(outer.right - outer.left, 696);
  EXPECT_EQ(outer.bottom - outer.top, 480);
  const LONG style = GetWindowLongA(form.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(GetClassLongPtrA(form.Handle(), GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
}

TEST(InformationWindow, MemoIsAnEditableTextAreaWithBothScrollBarsInTheFormFont) {
  TForm2 form;
  ASSERT_NE(form.Memo1(), nullptr);
  char className[64] = {};
  GetClassNameA(form.Memo1(), className, sizeof className);
  EXPECT_STRCASEEQ(className, "Edit");
  const LONG style = GetWindowLongA(form.Memo1(), GWL_STYLE);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_TRUE(style & WS_HSCROLL);
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_FALSE(style & ES_READONLY);
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageA(form.Memo1(), WM_GETFONT, 0, 0));
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(GetObjectA(handle, sizeof font, &font));
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(font.lfHeight, -11);
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_FALSE(font.lfItalic);
}

TEST(InformationWindow, MemoFillsTheClientAreaAndFollowsItsSize) {
  TForm2 form;
  for (const SIZE size : {SIZE{696, 480}, SIZE{400, 300}, SIZE{900, 600}}) {
    SetWindowPos(form.Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(form.Handle(), &client);
    RECT memo = WindowRect(form.Memo1());
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&memo), 2);
    EXPECT_EQ(memo.left, 0);
    EXPECT_EQ(memo.top, 0);
    EXPECT_EQ(memo.right, client.right) << size.cx;
    EXPECT_EQ(memo.bottom, client.bottom) << size.cy;
  }
}

TEST(InformationWindow, FirstLineShowsItCentredAndActive) {
  TForm2 form;
  form.AddLine("Could NOT delete   C:\\QRV\\a.dll");
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(GetActiveWindow(), form.Handle());
  const RECT outer = WindowRect(form.Handle());
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 696) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 480) / 2);
  EXPECT_EQ(MemoText(form), "Could NOT delete   C:\\QRV\\a.dll\r\n");
}

TEST(InformationWindow, LinesOfLaterRunsAppendBelowInOrder) {
  TForm2 form;
  for (const char* line : {"one", "two", "three"}) form.AddLine(line);
  EXPECT_EQ(MemoText(form), "one\r\ntwo\r\nthree\r\n");
  for (const char* line : {"four", "five"}) form.AddLine(line);
  EXPECT_EQ(MemoText(form), "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n");
}

TEST(InformationWindow, ClosingHidesItAndKeepsLinesAndPlace) {
  TForm2 form;
  form.AddLine("first run");
  SetWindowPos(form.Handle(), nullptr, 10, 20, 500, 300, SWP_NOZORDER);
  SendMessageA(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(form.Handle()));
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(MemoText(form), "first run\r\n");

  form.AddLine("second run");
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(MemoText(form), "first run\r\nsecond run\r\n");
  const RECT outer = WindowRect(form.Handle());
  EXPECT_EQ(outer.left, 10);
  EXPECT_EQ(outer.top, 20);
  EXPECT_EQ(outer.right - outer.left, 500);
  EXPECT_EQ(outer.bottom - outer.top, 300);
}

TEST(InformationWindow, ShowingItWhenVisibleChangesNothing) {
  TForm2 form;
  form.AddLine("one");
  SetWindowPos(form.Handle(), nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  TestWindow other("other");
  SetActiveWindow(other.Get());
  ASSERT_EQ(GetActiveWindow(), other.Get());
  form.AddLine("two");
  EXPECT_EQ(GetActiveWindow(), other.Get());
  EXPECT_EQ(WindowRect(form.Handle()).left, 30);
  EXPECT_EQ(MemoText(form), "one\r\ntwo\r\n");
}

TEST(InformationWindow, TextTypedAfterTheLastBreakGetsABreakBeforeTheNextLine) {
  TForm2 form;
  form.AddLine("a");
  TypeAtEnd(form, "typed");
  form.AddLine("b");
  EXPECT_EQ(MemoText(form), "a\r\ntyped\r\nb");
  form.AddLine("c");
  EXPECT_EQ(MemoText(form), "a\r\ntyped\r\nb\r\nc");
}

TEST(InformationWindow, TextTypedBeforeTheLastBreakLeavesTheRuleAlone) {
  TForm2 form;
  form.AddLine("a");
  SendMessageA(form.Memo1(), EM_SETSEL, 0, 0);
  SendMessageA(form.Memo1(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("zz"));
  TypeAtEnd(form, "line\r\n");
  form.AddLine("b");
  EXPECT_EQ(MemoText(form), "zza\r\nline\r\nb\r\n");
}

TEST(InformationWindow, AllTextTheUserDeletedStartsAfresh) {
  TForm2 form;
  form.AddLine("a");
  SetWindowTextA(form.Memo1(), "");
  form.AddLine("b");
  EXPECT_EQ(MemoText(form), "b\r\n");
}

TEST(InformationWindow, KeepsEveryLineBeyondTheEditControlsDefaultLimit) {
  TForm2 form;
  const std::string line(400, 'x');
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    const std::string numbered = std::to_string(i) + line;
    form.AddLine(numbered);
    expected += numbered + "\r\n";
  }
  ASSERT_GT(expected.size(), 40000u);
  EXPECT_EQ(MemoText(form), expected);
}

TEST(DesktopReporter, WithoutAnInformationWindowShowsNothing) {
  DesktopReporter reporter;
  DialogAnswerer answerer(IDOK);
  reporter.ShowInfo("line");
  EXPECT_FALSE(FindWindowA(kInfoWindowClass, nullptr));
  EXPECT_TRUE(answerer.Dialogs().empty());
}

TEST(DesktopReporter, ShowsInfoLinesInTheInformationWindow) {
  TForm2 form;
  DesktopReporter reporter(&form);
  reporter.ShowInfo("x");
  reporter.ShowInfo("y");
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(MemoText(form), "x\r\ny\r\n");
}

TEST(DesktopReporter, AsksAndNotifiesThroughTheBoxes) {
  DesktopReporter reporter;
  DialogAnswerer answerer({DialogAnswer::Press(IDNO), DialogAnswer::Press(IDOK)});
  EXPECT_FALSE(reporter.Confirm("Sure?"));
  reporter.SimpleMessage("Registry clean complete");
  const auto dialogs = answerer.Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].caption, "Confirm File Delete");
  EXPECT_EQ(dialogs[1].text, "Registry clean complete");
}

}  // namespace
