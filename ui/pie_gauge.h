#pragma once
// The pie gauge: a child window showing the percentage as a navy sector growing clockwise
// from twelve o'clock on a white disc. A change of the whole-number percentage is drawn at
// once through the window's DC, so the gauge moves during a run without the message queue.
#include <windows.h>

#include <cstdint>

#include "platform/handles.h"
#include "ui/gauge_model.h"

struct CleanerContext;

inline constexpr COLORREF kGaugeForeground = RGB(0, 0, 128);
inline constexpr COLORREF kGaugeBackground = RGB(255, 255, 255);

// Composes the picture of the gauge for the area off-screen and copies it onto the target
// with one BitBlt. The font is the one for the "%d%%" text.
void DrawPieGauge(HDC target, const RECT& area, int percentage, HFONT font);

class PieGauge {
 public:
  PieGauge(HWND parent, int id, const RECT& bounds, CleanerContext* context);
  PieGauge(const PieGauge&) = delete;
  PieGauge& operator=(const PieGauge&) = delete;

  HWND Handle() const { return window_.Get(); }
  const GaugeModel& Model() const { return model_; }
  void SetProgress(std::int32_t value);
  void SetMinimum(std::int32_t value);
  void SetMaximum(std::int32_t value);
  void SetRange(std::int32_t minimum, std::int32_t maximum);
  // Pictures drawn straight onto the window because the values changed (not WM_PAINT).
  int RedrawCount() const { return redraws_; }

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CleanerContext* GuardContext() const { return context_; }

 private:
  void RedrawNow();

  GaugeModel model_;
  CleanerContext* context_;
  HFONT font_ = nullptr;
  int redraws_ = 0;
  UniqueWindow window_;
};
