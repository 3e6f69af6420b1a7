#include <windows.h>

#include "ui/status_bar.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "ui/window_class.h"

namespace {

// As the common control lays its panels out: a gap between panels, a border above and below.
constexpr int kPanelGap = 2;
constexpr int kVerticalBorder = 2;
constexpr int kTextIndent = 3;
constexpr WPARAM kMostParts = 256;

HFONT MakeStatusFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  return CreateFontIndirectA(&metrics.lfStatusFont);
}

}  // namespace

StatusBar::StatusBar(HWND parent, int id, const RECT& bounds, CleanerContext* context)
    : context_(context), ownFont_(MakeStatusFont()) {
  const char* className =
      RegisterWindowClassOnce("VelmoraStatusBar", ObjectWindowProc<StatusBar>, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  window_.Reset(CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), this));
}

LRESULT StatusBar::TextAnswer(const Part& part) const {
  return MAKELONG(static_cast<WORD>(part.text.size()), part.kind);
}

LRESULT StatusBar::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case SB_SETPARTS: {
      const auto* ends = reinterpret_cast<const int*>(lParam);
      if (wParam == 0 || wParam > kMostParts || ends == nullptr) return FALSE;
      parts_.resize(wParam);
      for (std::size_t i = 0; i < wParam; ++i) parts_[i].end = ends[i];
      InvalidateRect(window, nullptr, TRUE);
      return TRUE;
    }
    case SB_GETPARTS: {
      auto* ends = reinterpret_cast<int*>(lParam);
      const std::size_t wanted = std::min<std::size_t>(wParam, parts_.size());
      for (std::size_t i = 0; ends != nullptr && i < wanted; ++i) ends[i] = parts_[i].end;
      return static_cast<LRESULT>(parts_.size());
    }
    case SB_SETTEXTA: {
      const std::size_t index = wParam & 0xFF;
      if (index >= parts_.size()) return FALSE;
      const auto* text = reinterpret_cast<const char*>(lParam);
      parts_[index].text = text ? text : "";
      parts_[index].kind = static_cast<WORD>(wParam & 0xFF00);
      InvalidateRect(window, nullptr, TRUE);
      return TRUE;
    }
    case SB_GETTEXTA: {
      const std::size_t index = wParam & 0xFF;
      if (index >= parts_.size()) return 0;
      if (auto* out = reinterpret_cast<char*>(lParam)) {
        std::memcpy(out, parts_[index].text.c_str(), parts_[index].text.size() + 1);
      }
      return TextAnswer(parts_[index]);
    }
    case SB_GETTEXTLENGTHA: {
      const std::size_t index = wParam & 0xFF;
      return index < parts_.size() ? TextAnswer(parts_[index]) : 0;
    }
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_ ? font_ : static_cast<HFONT>(ownFont_.Get()));
    case WM_PAINT:
      Paint(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void StatusBar::Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  const HGDIOBJ oldFont = SelectObject(dc, font_ ? font_ : static_cast<HFONT>(ownFont_.Get()));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  int left = 0;
  for (const Part& part : parts_) {
    RECT box{left, client.top + kVerticalBorder, part.end < 0 ? client.right : part.end, client.bottom};
    left = box.right + kPanelGap;
    if (box.right <= box.left) continue;
    if (!(part.kind & SBT_NOBORDERS)) {
      DrawEdge(dc, &box, (part.kind & SBT_POPOUT) ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
    box.left += kTextIndent;
    DrawTextA(dc, part.text.c_str(), static_cast<int>(part.text.size()), &box,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  SelectObject(dc, oldFont);
  EndPaint(window, &paint);
}
