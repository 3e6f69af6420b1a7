#pragma once
// The information window `Form2`: the list of what could not be removed, in the editable
// text area `Memo1`. Created hidden; shown by the first line; closing only hides it.
#include <windows.h>

#include <string>

#include "platform/handles.h"

struct CleanerContext;

inline constexpr char kInfoWindowClass[] = "TForm2";
inline constexpr char kInfoWindowCaption[] = "QRV Registry Cleaner - Information list";
inline constexpr int kInfoWindowWidth = 696;
inline constexpr int kInfoWindowHeight = 480;

class TForm2 {
 public:
  // Errors raised while the window handles a message go to the error handler with this
  // context (which may be null).
  explicit TForm2(CleanerContext* context = nullptr);
  ~TForm2();
  TForm2(const TForm2&) = delete;
  TForm2& operator=(const TForm2&) = delete;

  // Appends the line after the last line break (or after a line break of its own when the
  // user typed text after the last one), then shows the window.
  void AddLine(const std::string& line);
  // Shows and activates the window when it is hidden, centred the first time.
  void Show();
  bool Visible() const;

  HWND Handle() const { return window_.Get(); }
  HWND Memo1() const { return memo_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void AppendToMemo(const std::string& line);

  CleanerContext* context_;
  UniqueGdiObject font_;
  UniqueWindow window_;
  HWND memo_ = nullptr;
  bool shownBefore_ = false;
};
