#include "ui/gauge_model.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/errors.h"

namespace {

[[noreturn]] void RaiseOutOfRange(std::int32_t low, std::int32_t high) {
  char text[80];
  std::snprintf(text, sizeof text, "Value must be between %d and %d", static_cast<int>(low),
                static_cast<int>(high));
  throw Exception(text);
}

constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kHighest = std::numeric_limits<std::int32_t>::max();

}  // namespace

int GaugePercentage(std::int32_t progress, std::int32_t minimum, std::int32_t maximum) {
  if (maximum == minimum) return 0;
  // Doubles hold every difference of two 32-bit values exactly, so nothing overflows.
  const double done = static_cast<double>(progress) - static_cast<double>(minimum);
  const double span = static_cast<double>(maximum) - static_cast<double>(minimum);
  return static_cast<int>(done * 100.0 / span);
}

bool GaugeModel::SetProgress(std::int32_t value) {
  const std::int32_t clamped = std::clamp(value, minimum_, maximum_);
  if (clamped == progress_) return false;
  const int before = Percentage();
  progress_ = clamped;
  return Percentage() != before;
}

bool GaugeModel::SetMinimum(std::int32_t value) {
  if (value > maximum_) RaiseOutOfRange(kLowest, maximum_);
  minimum_ = value;
  progress_ = std::max(progress_, minimum_);
  return true;
}

bool GaugeModel::SetMaximum(std::int32_t value) {
  if (value < minimum_) RaiseOutOfRange(minimum_, kHighest);
  maximum_ = value;
  progress_ = std::min(progress_, maximum_);
  return true;
}

bool GaugeModel::SetRange(std::int32_t minimum, std::int32_t maximum) {
  if (minimum > maximum) RaiseOutOfRange(minimum, kHighest);
  minimum_ = minimum;
  maximum_ = maximum;
  progress_ = std::clamp(progress_, minimum_, maximum_);
  return true;
}
