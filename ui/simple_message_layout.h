#pragma once
// The layout of the simple message in dialog units of the message font: one horizontal
// unit is a quarter of the average width of the 52 letters A-Z a-z, one vertical unit an
// eighth of their height.
#include <string_view>

inline constexpr std::string_view kDialogUnitLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// What the layout needs measured in the message font, in pixels.
struct SimpleMessageMeasures {
  int lettersWidth = 0;   // extent of kDialogUnitLetters
  int lettersHeight = 0;
  int textWidth = 0;      // the text word-wrapped within SimpleMessageTextLimit
  int textHeight = 0;
  int buttonCaptionWidth = 0;  // "OK"
};

struct PixelBox {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PixelBox&) const = default;
};

struct SimpleMessageLayout {
  int clientWidth = 0;
  int clientHeight = 0;
  PixelBox text;
  PixelBox button;
};

// The text wraps within half the screen width.
int SimpleMessageTextLimit(int screenWidth);
// units * base / divisor, rounded to the nearest pixel (halves upward), as MulDiv does.
int ScaleDialogUnits(int units, int base, int divisor);
SimpleMessageLayout LayoutSimpleMessage(const SimpleMessageMeasures& measures);
// The top-left corner of a window of the given outer size centred on the screen.
PixelBox CentreOnScreen(int width, int height, int screenWidth, int screenHeight);
