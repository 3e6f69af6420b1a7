#pragma once
// The numbers of the pie gauge: range, clamped progress and the whole-number percentage.
// Every setter tells whether the picture must be redrawn.
#include <cstdint>

// Integer part of (progress - minimum) * 100 / (maximum - minimum), in floating point;
// 0 when the range is empty.
int GaugePercentage(std::int32_t progress, std::int32_t minimum, std::int32_t maximum);

class GaugeModel {
 public:
  std::int32_t Minimum() const { return minimum_; }
  std::int32_t Maximum() const { return maximum_; }
  std::int32_t Progress() const { return progress_; }
  int Percentage() const { return GaugePercentage(progress_, minimum_, maximum_); }

  // Clamps into the range; true when the percentage changed.
  [[nodiscard]] bool SetProgress(std::int32_t value);
  // Both clamp the progress into the new range and always ask for a redraw. A minimum
  // above the maximum (or a maximum below the minimum) raises Exception
  // "Value must be between %d and %d" with the values the setter would accept.
  [[nodiscard]] bool SetMinimum(std::int32_t value);
  [[nodiscard]] bool SetMaximum(std::int32_t value);
  // Both ends at once, so that moving to a range beside the current one never passes
  // through an inverted one; refuses minimum > maximum like the single setters.
  [[nodiscard]] bool SetRange(std::int32_t minimum, std::int32_t maximum);

 private:
  std::int32_t minimum_ = 0;
  std::int32_t maximum_ = 100;
  std::int32_t progress_ = 0;
};
