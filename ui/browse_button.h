#pragma once
// The small button at the right end of a folder field: a flat push button that never takes
// the focus, with a picture of three black dots.
#include <windows.h>

#include <functional>

#include "platform/handles.h"

struct CleanerContext;

inline constexpr int kBrowseButtonWidth = 21;
inline constexpr int kBrowseGlyphWidth = 15;  // the button width less 6
inline constexpr int kBrowseGlyphHeight = 4;
inline constexpr int kBrowseDotX[] = {1, 6, 11};
inline constexpr int kBrowseDotY = 1;
inline constexpr int kBrowseDotSize = 2;

class BrowseButton {
 public:
  // pressed runs when the left button goes down on it, clicked when it is released over it.
  BrowseButton(HWND parent, CleanerContext* context, std::function<void()> pressed,
               std::function<void()> clicked);
  BrowseButton(const BrowseButton&) = delete;
  BrowseButton& operator=(const BrowseButton&) = delete;

  HWND Handle() const { return window_.Get(); }
  void Place(const RECT& bounds);

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  CleanerContext* GuardContext() const { return context_; }

 private:
  void SetDown(bool down);
  void Paint(HDC dc) const;

  CleanerContext* context_;
  std::function<void()> pressed_;
  std::function<void()> clicked_;
  bool tracking_ = false;
  bool down_ = false;
  UniqueWindow window_;
};
