#include "ui/simple_message_layout.h"

#include <algorithm>

namespace {

constexpr int kMarginUnits = 8;
constexpr int kTextToButtonUnits = 10;
constexpr int kButtonHeightUnits = 14;
constexpr int kButtonMinWidthUnits = 50;
constexpr int kButtonCaptionPadding = 8;

}  // namespace

int SimpleMessageTextLimit(int screenWidth) { return screenWidth / 2; }

int ScaleDialogUnits(int units, int base, int divisor) {
  const long long product = static_cast<long long>(units) * base;
  const long long rounded = product >= 0 ? (2 * product + divisor) / (2 * divisor)
                                         : -((-2 * product + divisor) / (2 * divisor));
  return static_cast<int>(rounded);
}

SimpleMessageLayout LayoutSimpleMessage(const SimpleMessageMeasures& measures) {
  const int averageWidth = measures.lettersWidth / static_cast<int>(kDialogUnitLetters.size());
  const auto horizontal = [&](int units) { return ScaleDialogUnits(units, averageWidth, 4); };
  const auto vertical = [&](int units) { return ScaleDialogUnits(units, measures.lettersHeight, 8); };

  const int marginX = horizontal(kMarginUnits);
  const int marginY = vertical(kMarginUnits);
  const int buttonWidth =
      std::max(horizontal(kButtonMinWidthUnits), measures.buttonCaptionWidth + kButtonCaptionPadding);
  const int buttonHeight = vertical(kButtonHeightUnits);
  const int spacing = vertical(kTextToButtonUnits);

  SimpleMessageLayout layout;
  layout.clientWidth = std::max(measures.textWidth, buttonWidth) + 2 * marginX;
  layout.clientHeight = measures.textHeight + spacing + buttonHeight + 2 * marginY;
  layout.text = {marginX, marginY, measures.textWidth, measures.textHeight};
  layout.button = {(layout.clientWidth - buttonWidth) / 2, marginY + measures.textHeight + spacing,
                   buttonWidth, buttonHeight};
  return layout;
}

PixelBox CentreOnScreen(int width, int height, int screenWidth, int screenHeight) {
  return {screenWidth / 2 - width / 2, screenHeight / 2 - height / 2, width, height};
}
