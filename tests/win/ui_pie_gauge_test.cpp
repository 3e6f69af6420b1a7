#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "platform/errors.h"
#include "tests/support/ui_test_support.h"
#include "ui/pie_gauge.h"

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kLightYellow = RGB(255, 255, 127);  // white text over navy, by exclusive-or

HFONT WindowFont() {
  static HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                  DEFAULT_PITCH, "MS Sans Serif");
  return font;
}

PixelGrab GaugePicture(int percentage, int size = 100) {
  return DrawnPicture(size, size, [&](HDC dc) {
    DrawPieGauge(dc, RECT{0, 0, size, size}, percentage, WindowFont());
  });
}

// A point on the disc at the radius, the angle measured clockwise from twelve o'clock.
POINT OnDisc(double degrees, double radius = 30) {
  const double a = degrees * std::numbers::pi / 180;
  return POINT{static_cast<int>(std::lround(50 + radius * std::sin(a))),
               static_cast<int>(std::lround(50 - radius * std::cos(a)))};
}

}  // namespace

// The sector starts at twelve o'clock and grows clockwise: a point of the disc is navy
// exactly when its clockwise angle from twelve lies below percentage * 3.6 degrees.
TEST(PieGaugePicture, SectorGrowsClockwiseFromTwelve) {
  const int percentages[] = {0, 1, 10, 25, 37, 50, 75, 90, 99, 100};
  for (int p : percentages) {
    const PixelGrab picture = GaugePicture(p);
    for (int degrees = 5; degrees < 360; degrees += 10) {
      const double edge = p * 3.6;
      if (std::abs(degrees - edge) < 6) continue;  // too close to the radial to judge
      const POINT at = OnDisc(degrees);
      const COLORREF expected = degrees < edge ? kNavy : kWhite;
      EXPECT_EQ(ColourText(picture.At(at.x, at.y)), ColourText(expected))
          << p << "% at " << degrees << " degrees";
    }
  }
}

TEST(PieGaugePicture, AroundTheDiscIsTheButtonFaceAndTheOutlineIsNavy) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (int p : {0, 60}) {
    const PixelGrab picture = GaugePicture(p);
    for (POINT corner : {POINT{1, 1}, POINT{98, 1}, POINT{1, 98}, POINT{98, 98}}) {
      EXPECT_EQ(ColourText(picture.At(corner.x, corner.y)), ColourText(face)) << p;
    }
    // The one-pixel outline at the ends of the axes, whatever the percentage.
    EXPECT_EQ(ColourText(picture.At(0, 50)), ColourText(kNavy)) << p;
    EXPECT_EQ(ColourText(picture.At(50, 0)), ColourText(kNavy)) << p;
  }
}

// "%d%%" in white combined by exclusive-or: black on the white disc, light yellow on
// navy, centred by the gauge's rule, and nothing but those colours in the text box.
TEST(PieGaugePicture, PercentageTextIsCentredAndInverted) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, WindowFont());
  for (int p : {0, 7, 100}) {
    char text[8];
    const int length = std::snprintf(text, sizeof text, "%d%%", p);
    SIZE extent{};
    GetTextExtentPoint32A(screen, text, length, &extent);
    const int x0 = (101 - extent.cx) / 2;
    const int y0 = (101 - extent.cy) / 2;
    const PixelGrab picture = GaugePicture(p);
    const COLORREF ink = p == 100 ? kLightYellow : kBlack;
    const COLORREF paper = p == 100 ? kNavy : kWhite;
    int inked = 0;
    int outsideBox = 0;
    for (int y = 30; y < 70; ++y) {
      for (int x = 30; x < 70; ++x) {
        const COLORREF c = picture.At(x, y);
        const bool inBox = x >= x0 && x < x0 + extent.cx && y >= y0 && y < y0 + extent.cy;
        if (c == ink) {
          ++inked;
          if (!inBox) ++outsideBox;
        } else if (p != 7 || x < 50) {  // at 7 % the sector edge crosses the box's right half
          EXPECT_EQ(ColourText(c), ColourText(paper)) << p << "% at " << x << "," << y;
        }
      }
    }
    EXPECT_GT(inked, 10) << p;
    EXPECT_EQ(outsideBox, 0) << p;
  }
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
}

TEST(PieGaugePicture, DrawsOnlyIntoItsArea) {
  const PixelGrab picture = DrawnPicture(140, 140, [](HDC dc) {
    const RECT all{0, 0, 140, 140};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawPieGauge(dc, RECT{20, 20, 120, 120}, 100, WindowFont());
  });
  EXPECT_EQ(ColourText(picture.At(19, 70)), ColourText(kBlack));
  EXPECT_EQ(ColourText(picture.At(120, 70)), ColourText(kBlack));
  EXPECT_EQ(ColourText(picture.At(70, 19)), ColourText(kBlack));
  EXPECT_EQ(ColourText(picture.At(70, 120)), ColourText(kBlack));
  EXPECT_EQ(ColourText(picture.At(21, 21)), ColourText(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(ColourText(picture.At(70, 30)), ColourText(kNavy));
}

class PieGaugeWindow : public ::testing::Test {
 protected:
  HostWindow host{200, 200};
  PieGauge gauge{host.Handle(), 7, RECT{10, 10, 110, 110}, nullptr};

  void SetUp() override {
    SendMessageA(gauge.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), FALSE);
    UpdateWindow(host.Handle());
    ServeMessages();
  }

  // What the gauge's window shows now, read from its own DC without serving messages.
  PixelGrab Shown() {
    HDC dc = GetDC(gauge.Handle());
    PixelGrab grab(dc, 0, 0, 100, 100);
    ReleaseDC(gauge.Handle(), dc);
    return grab;
  }
};

TEST_F(PieGaugeWindow, ChangeIsOnTheWindowBeforeAnyMessageIsServed) {
  const POINT threeOClock = OnDisc(80);
  EXPECT_EQ(ColourText(Shown().At(threeOClock.x, threeOClock.y)), ColourText(kWhite));
  gauge.SetRange(0, 4);
  gauge.SetProgress(1);  // 25 %
  EXPECT_EQ(ColourText(Shown().At(threeOClock.x, threeOClock.y)), ColourText(kNavy));
  const POINT sixOClock = OnDisc(170);
  EXPECT_EQ(ColourText(Shown().At(sixOClock.x, sixOClock.y)), ColourText(kWhite));
  gauge.SetProgress(4);
  EXPECT_EQ(ColourText(Shown().At(sixOClock.x, sixOClock.y)), ColourText(kNavy));
  EXPECT_EQ(gauge.Model().Percentage(), 100);
}

TEST_F(PieGaugeWindow, PassOfTenThousandLinesRedrawsAtMost101Times) {
  gauge.SetRange(0, 10000);
  for (int line = 1; line <= 10000; ++line) gauge.SetProgress(line);
  EXPECT_LE(gauge.RedrawCount(), 101);
  EXPECT_EQ(gauge.RedrawCount(), 101);  // the range, then one per whole percent
  const POINT nearlyTwelve = OnDisc(355);
  EXPECT_EQ(ColourText(Shown().At(nearlyTwelve.x, nearlyTwelve.y)), ColourText(kNavy));
}

TEST_F(PieGaugeWindow, EmptyRuleFileStaysAnEmptyDiscAtZeroPercent) {
  gauge.SetRange(0, 0);
  for (int line = 1; line <= 20; ++line) gauge.SetProgress(line);
  EXPECT_EQ(gauge.RedrawCount(), 1);
  EXPECT_EQ(gauge.Model().Percentage(), 0);
  const PixelGrab shown = Shown();
  for (int degrees = 5; degrees < 360; degrees += 30) {
    const POINT at = OnDisc(degrees);
    EXPECT_EQ(ColourText(shown.At(at.x, at.y)), ColourText(kWhite)) << degrees;
  }
  int black = 0;  // the "0%" text, inverted on white
  for (int y = 40; y < 60; ++y) {
    for (int x = 35; x < 65; ++x) black += shown.At(x, y) == kBlack ? 1 : 0;
  }
  EXPECT_GT(black, 10);
}

TEST_F(PieGaugeWindow, PaintMessageDrawsTheSamePicture) {
  gauge.SetRange(0, 2);
  gauge.SetProgress(1);
  const int before = gauge.RedrawCount();
  HDC dc = GetDC(gauge.Handle());
  const RECT all{0, 0, 100, 100};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(gauge.Handle(), dc);
  InvalidateRect(gauge.Handle(), nullptr, TRUE);
  UpdateWindow(gauge.Handle());
  const POINT at = OnDisc(120);
  EXPECT_EQ(ColourText(Shown().At(at.x, at.y)), ColourText(kNavy));
  EXPECT_EQ(ColourText(Shown().At(1, 1)), ColourText(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(gauge.RedrawCount(), before);  // painting is not a change of value
}

TEST_F(PieGaugeWindow, InvertedRangeRaisesAndLeavesTheGauge) {
  gauge.SetRange(0, 50);
  gauge.SetProgress(25);
  const int before = gauge.RedrawCount();
  try {
    gauge.SetMinimum(51);
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Value must be between -2147483648 and 50");
  }
  EXPECT_THROW(gauge.SetMaximum(-1), Exception);
  EXPECT_EQ(gauge.Model().Minimum(), 0);
  EXPECT_EQ(gauge.Model().Maximum(), 50);
  EXPECT_EQ(gauge.Model().Progress(), 25);
  EXPECT_EQ(gauge.RedrawCount(), before);
  gauge.SetMaximum(50);  // same value: drawn again all the same
  EXPECT_EQ(gauge.RedrawCount(), before + 1);
}
