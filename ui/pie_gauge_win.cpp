#include <windows.h>

#include "ui/pie_gauge.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "ui/window_class.h"

namespace {

void DrawDiscAndSector(HDC dc, int width, int height, int percentage) {
  UniqueGdiObject outline(CreatePen(PS_SOLID, 1, kGaugeForeground));
  UniqueGdiObject disc(CreateSolidBrush(kGaugeBackground));
  SelectedObject pen(dc, outline.Get());
  {
    SelectedObject brush(dc, disc.Get());
    Ellipse(dc, 0, 0, width, height);
  }
  if (percentage <= 0) return;
  UniqueGdiObject sector(CreateSolidBrush(kGaugeForeground));
  SelectedObject brush(dc, sector.Get());
  const int middleX = width / 2;
  const int middleY = height / 2;
  const double angle = std::numbers::pi * (percentage / 50.0 + 0.5);
  const int startX = static_cast<int>(std::lround(middleX * (1 - std::cos(angle))));
  const int startY = static_cast<int>(std::lround(middleY * (1 - std::sin(angle))));
  // GDI draws arcs counter-clockwise by default: from the radial at the percentage back
  // to twelve o'clock, which leaves the sector growing clockwise from twelve.
  SetArcDirection(dc, AD_COUNTERCLOCKWISE);
  Pie(dc, 0, 0, width, height, startX, startY, middleX, 0);
}

// The text is drawn white on black in a picture of its own and then combined by
// exclusive-or, so each text pixel shows the inverse of what lies under it.
void XorPercentageText(HDC picture, HDC reference, int width, int height, int percentage,
                       HFONT font) {
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%d%%", percentage);
  UniqueMemoryDc textDc(CreateCompatibleDC(reference));
  UniqueGdiObject textBitmap(CreateCompatibleBitmap(reference, width, height));
  SelectedObject bitmap(textDc.Get(), textBitmap.Get());
  SelectedObject textFont(textDc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  const RECT whole{0, 0, width, height};
  FillRect(textDc.Get(), &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SIZE extent{};
  GetTextExtentPoint32A(textDc.Get(), text, length, &extent);
  SetTextColor(textDc.Get(), RGB(255, 255, 255));
  SetBkMode(textDc.Get(), TRANSPARENT);
  const int x = (width + 1 - extent.cx) / 2;
  const int y = (height + 1 - extent.cy) / 2;
  ExtTextOutA(textDc.Get(), x, y, ETO_CLIPPED, &whole, text, static_cast<UINT>(length), nullptr);
  BitBlt(picture, 0, 0, width, height, textDc.Get(), 0, 0, SRCINVERT);
}

}  // namespace

void DrawPieGauge(HDC target, const RECT& area, int percentage, HFONT font) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  UniqueMemoryDc pictureDc(CreateCompatibleDC(target));
  UniqueGdiObject pictureBitmap(CreateCompatibleBitmap(target, width, height));
  {
    SelectedObject bitmap(pictureDc.Get(), pictureBitmap.Get());
    const RECT whole{0, 0, width, height};
    FillRect(pictureDc.Get(), &whole, GetSysColorBrush(COLOR_BTNFACE));
    DrawDiscAndSector(pictureDc.Get(), width, height, percentage);
    XorPercentageText(pictureDc.Get(), target, width, height, percentage, font);
    BitBlt(target, area.left, area.top, width, height, pictureDc.Get(), 0, 0, SRCCOPY);
  }
}

PieGauge::PieGauge(HWND parent, int id, const RECT& bounds, CleanerContext* context)
    : context_(context) {
  const char* className =
      RegisterWindowClassOnce("VelmoraPieGauge", ObjectWindowProc<PieGauge>, nullptr);
  window_.Reset(CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleA(nullptr), this));
}

void PieGauge::SetProgress(std::int32_t value) {
  if (model_.SetProgress(value)) RedrawNow();
}

void PieGauge::SetMinimum(std::int32_t value) {
  if (model_.SetMinimum(value)) RedrawNow();
}

void PieGauge::SetMaximum(std::int32_t value) {
  if (model_.SetMaximum(value)) RedrawNow();
}

void PieGauge::SetRange(std::int32_t minimum, std::int32_t maximum) {
  if (model_.SetRange(minimum, maximum)) RedrawNow();
}

void PieGauge::RedrawNow() {
  ++redraws_;
  if (!window_) return;
  WindowDc dc(window_.Get());
  RECT area{};
  GetClientRect(window_.Get(), &area);
  DrawPieGauge(dc.Get(), area, model_.Percentage(), font_);
}

LRESULT PieGauge::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area{};
      GetClientRect(window, &area);
      DrawPieGauge(dc, area, model_.Percentage(), font_);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
