#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/errors.h"
#include "ui/gauge_model.h"

namespace {
constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kHighest = std::numeric_limits<std::int32_t>::max();
}  // namespace

TEST(GaugePercentage, TruncatesTowardZeroInFloatingPoint) {
  const struct {
    std::int32_t progress, minimum, maximum;
    int percentage;
  } cases[] = {
      {0, 0, 100, 0},       {1, 0, 100, 1},          {29, 0, 100, 29},    {57, 0, 100, 57},
      {99, 0, 100, 99},     {100, 0, 100, 100},      {1, 0, 3, 33},       {2, 0, 3, 66},
      {2, 0, 7, 28},        {6, 0, 7, 85},           {9999, 0, 10000, 99}, {1, 0, 10000, 0},
      {100, 0, 10000, 1},   {0, -50, 50, 50},        {-49, -50, 50, 1},   {7, 7, 7, 0},
      {0, 0, 0, 0},         {0, kLowest, kHighest, 50}, {-1, kLowest, kHighest, 49},
      {kHighest, kLowest, kHighest, 100},
      {kLowest, kLowest, kHighest, 0}, {kHighest - 1, 0, kHighest, 99},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GaugePercentage(c.progress, c.minimum, c.maximum), c.percentage)
        << c.progress << " in " << c.minimum << ".." << c.maximum;
  }
}

TEST(GaugeModel, StartsWithTheLayoutRange) {
  GaugeModel gauge;
  EXPECT_EQ(gauge.Minimum(), 0);
  EXPECT_EQ(gauge.Maximum(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.Percentage(), 0);
}

TEST(GaugeModel, ProgressIsClampedIntoTheRange) {
  GaugeModel gauge;
  ASSERT_TRUE(gauge.SetRange(10, 20));
  EXPECT_EQ(gauge.Progress(), 10);  // pulled up with the minimum
  EXPECT_TRUE(gauge.SetProgress(25));
  EXPECT_EQ(gauge.Progress(), 20);
  EXPECT_EQ(gauge.Percentage(), 100);
  EXPECT_TRUE(gauge.SetProgress(-5));
  EXPECT_EQ(gauge.Progress(), 10);
  EXPECT_EQ(gauge.Percentage(), 0);
  EXPECT_FALSE(gauge.SetProgress(kLowest));
  EXPECT_EQ(gauge.Progress(), 10);
}

TEST(GaugeModel, RedrawOnlyWhenThePercentageChanges) {
  GaugeModel gauge;
  ASSERT_TRUE(gauge.SetMaximum(1000));
  EXPECT_FALSE(gauge.SetProgress(0));   // same value
  EXPECT_FALSE(gauge.SetProgress(9));   // 0 % still
  EXPECT_EQ(gauge.Progress(), 9);       // stored although nothing is drawn
  EXPECT_TRUE(gauge.SetProgress(10));   // 1 %
  EXPECT_FALSE(gauge.SetProgress(10));
  EXPECT_FALSE(gauge.SetProgress(19));
  EXPECT_TRUE(gauge.SetProgress(5));    // back to 0 %
}

TEST(GaugeModel, RangeChangesClampTheProgressAndAlwaysRedraw) {
  GaugeModel gauge;
  ASSERT_TRUE(gauge.SetProgress(80));
  EXPECT_TRUE(gauge.SetMaximum(50));
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.Percentage(), 100);
  EXPECT_TRUE(gauge.SetMaximum(50));  // same value: redrawn all the same
  EXPECT_TRUE(gauge.SetMinimum(60 - 10));
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.Percentage(), 0);  // empty range
  EXPECT_TRUE(gauge.SetMinimum(-50));
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.Percentage(), 100);
  EXPECT_TRUE(gauge.SetRange(100, 200));
  EXPECT_EQ(gauge.Progress(), 100);
  EXPECT_EQ(gauge.Minimum(), 100);
  EXPECT_EQ(gauge.Maximum(), 200);
}

TEST(GaugeModel, InvertedRangeIsRefusedAndChangesNothing) {
  const struct {
    const char* what;
    void (*set)(GaugeModel&);
    const char* message;
  } cases[] = {
      {"minimum above maximum", [](GaugeModel& g) { (void)g.SetMinimum(101); },
       "Value must be between -2147483648 and 100"},
      {"maximum below minimum", [](GaugeModel& g) { (void)g.SetMaximum(-1); },
       "Value must be between 0 and 2147483647"},
      {"inverted pair", [](GaugeModel& g) { (void)g.SetRange(5, 4); },
       "Value must be between 5 and 2147483647"},
  };
  for (const auto& c : cases) {
    GaugeModel gauge;
    ASSERT_TRUE(gauge.SetProgress(40));
    try {
      c.set(gauge);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), c.message) << c.what;
    }
    EXPECT_EQ(gauge.Minimum(), 0) << c.what;
    EXPECT_EQ(gauge.Maximum(), 100) << c.what;
    EXPECT_EQ(gauge.Progress(), 40) << c.what;
  }
}

TEST(GaugeModel, RangeBesideTheCurrentOneIsSetInOneStep) {
  GaugeModel gauge;
  EXPECT_TRUE(gauge.SetRange(500, 600));
  EXPECT_TRUE(gauge.SetRange(-600, -500));
  EXPECT_EQ(gauge.Progress(), -500);
}

// A rule pass over a file of 10,000 lines: the range is set once, then every line moves
// the gauge one step. At most 101 pictures, one per whole percentage and the range.
TEST(GaugeModel, PassOfTenThousandLinesRedrawsAtMost101Times) {
  GaugeModel gauge;
  int redraws = gauge.SetRange(0, 10000) ? 1 : 0;
  int lastPercentage = gauge.Percentage();
  int changes = 0;
  for (std::int32_t line = 1; line <= 10000; ++line) {
    if (gauge.SetProgress(line)) {
      ++redraws;
      EXPECT_NE(gauge.Percentage(), lastPercentage);
    }
    if (gauge.Percentage() != lastPercentage) ++changes;
    lastPercentage = gauge.Percentage();
  }
  EXPECT_EQ(redraws, 101);
  EXPECT_EQ(changes, 100);
  EXPECT_EQ(gauge.Percentage(), 100);
  // A second pass starts again at line 1 without a new range.
  int secondPass = 0;
  for (std::int32_t line = 1; line <= 10000; ++line) secondPass += gauge.SetProgress(line) ? 1 : 0;
  EXPECT_EQ(secondPass, 101);  // 100 % to 0 %, then 1 % to 100 %
}

TEST(GaugeModel, FileThatGrewStopsAtTheMaximum) {
  GaugeModel gauge;
  ASSERT_TRUE(gauge.SetRange(0, 40));
  int redraws = 0;
  for (std::int32_t line = 1; line <= 55; ++line) redraws += gauge.SetProgress(line) ? 1 : 0;
  EXPECT_EQ(gauge.Progress(), 40);
  EXPECT_EQ(gauge.Percentage(), 100);
  EXPECT_EQ(redraws, 40);  // 40 lines are 2.5 % each: every line changes the percentage
}

TEST(GaugeModel, EmptyRuleFileShowsZeroPercentThroughAPass) {
  GaugeModel gauge;
  ASSERT_TRUE(gauge.SetRange(0, 0));
  for (std::int32_t line = 1; line <= 5; ++line) {
    EXPECT_FALSE(gauge.SetProgress(line));
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.Percentage(), 0);
  }
}
