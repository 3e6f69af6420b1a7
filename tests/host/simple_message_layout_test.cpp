#include <gtest/gtest.h>

#include "ui/simple_message_layout.h"

namespace {

struct ScaleCase {
  int units, base, divisor, pixels;
};

void PrintTo(const ScaleCase& c, std::ostream* out) { *out << c.units << "*" << c.base << "/" << c.divisor; }

class DialogUnitScaling : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(DialogUnitScaling, RoundsToTheNearestPixelHalvesUp) {
  const ScaleCase& c = GetParam();
  EXPECT_EQ(ScaleDialogUnits(c.units, c.base, c.divisor), c.pixels)
      << c.units << " * " << c.base << " / " << c.divisor;
}

INSTANTIATE_TEST_SUITE_P(Values, DialogUnitScaling,
                         ::testing::Values(ScaleCase{8, 6, 4, 12}, ScaleCase{50, 6, 4, 75},
                                           ScaleCase{8, 13, 8, 13}, ScaleCase{10, 13, 8, 16},
                                           ScaleCase{14, 13, 8, 23}, ScaleCase{1, 2, 4, 1},
                                           ScaleCase{3, 1, 8, 0}, ScaleCase{5, 5, 4, 6}, ScaleCase{8, 7, 4, 14},
                                           ScaleCase{0, 9, 4, 0}));

// A font whose 52 letters measure 312 x 13 pixels: 6 pixels per average letter.
SimpleMessageMeasures TahomaLike(int textWidth, int textHeight, int captionWidth = 15) {
  return {312, 13, textWidth, textHeight, captionWidth};
}

TEST(SimpleMessageLayout, MarginsSpacingAndButtonFollowTheDialogUnits) {
  const SimpleMessageLayout layout = LayoutSimpleMessage(TahomaLike(150, 13));
  // Margins: 8 units = 12 px across, 13 px down; button 50 x 14 units = 75 x 23 px;
  // 10 units (16 px) between text and button.
  EXPECT_EQ(layout.text, (PixelBox{12, 13, 150, 13}));
  EXPECT_EQ(layout.button, (PixelBox{49, 42, 75, 23}));
  EXPECT_EQ(layout.clientWidth, 174);
  EXPECT_EQ(layout.clientHeight, 13 + 13 + 16 + 23 + 13);
}

TEST(SimpleMessageLayout, ANarrowTextTakesTheButtonsWidthAndStaysLeft) {
  const SimpleMessageLayout layout = LayoutSimpleMessage(TahomaLike(40, 13));
  EXPECT_EQ(layout.clientWidth, 75 + 24);
  EXPECT_EQ(layout.text.left, 12);
  EXPECT_EQ(layout.button.left, 12);
}

TEST(SimpleMessageLayout, AWideCaptionWidensTheButtonByEightPixels) {
  const SimpleMessageLayout layout = LayoutSimpleMessage(TahomaLike(40, 13, 80));
  EXPECT_EQ(layout.button.width, 88);
  EXPECT_EQ(layout.clientWidth, 88 + 24);
}

TEST(SimpleMessageLayout, AWrappedTextPushesTheButtonDown) {
  const SimpleMessageLayout layout = LayoutSimpleMessage(TahomaLike(500, 13 * 4));
  EXPECT_EQ(layout.button.top, 13 + 52 + 16);
  EXPECT_EQ(layout.clientHeight, 13 + 52 + 16 + 23 + 13);
  EXPECT_EQ(layout.button.left, (524 - 75) / 2);
}

TEST(SimpleMessageLayout, TheAverageLetterWidthIsAWholeNumberOfPixels) {
  // 363 / 52 = 6.98: the average is taken as 6 before the units are applied.
  const SimpleMessageLayout layout = LayoutSimpleMessage({363, 16, 100, 16, 15});
  EXPECT_EQ(layout.text.left, 12);
  EXPECT_EQ(layout.button.width, 75);
  EXPECT_EQ(layout.button.height, 28);
}

TEST(SimpleMessageLayout, TextWrapsWithinHalfTheScreen) {
  EXPECT_EQ(SimpleMessageTextLimit(1024), 512);
  EXPECT_EQ(SimpleMessageTextLimit(1023), 511);
}

TEST(SimpleMessageLayout, CentredOnTheScreen) {
  EXPECT_EQ(CentreOnScreen(200, 100, 1024, 768), (PixelBox{412, 334, 200, 100}));
  EXPECT_EQ(CentreOnScreen(201, 101, 1024, 768), (PixelBox{412, 334, 201, 101}));
}

}  // namespace
