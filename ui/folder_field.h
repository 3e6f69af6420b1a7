#pragma once
// A one-line folder path field with a browse button at its right end. Its change event runs
// once for every real change of the text: typing, the folder browser, or the program.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/handles.h"
#include "ui/browse_button.h"

struct CleanerContext;

inline constexpr int kFolderTextGap = 2;  // between the end of the text area and the button

class FolderField {
 public:
  // Shows the folder browser at the start folder; the chosen folder, or nothing on Cancel.
  using Browser = std::function<std::optional<std::string>(const std::string& startFolder)>;

  FolderField(HWND parent, int id, const RECT& bounds, CleanerContext* context, Browser browser);
  ~FolderField();
  FolderField(const FolderField&) = delete;
  FolderField& operator=(const FolderField&) = delete;

  HWND Handle() const { return edit_.Get(); }
  HWND ButtonHandle() const { return button_->Handle(); }
  std::string Text() const;
  // Replaces the text; the change event runs once when it differs, never when it is equal.
  void SetText(const std::string& text);
  void SetChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
  const std::string& RememberedFolder() const { return remembered_; }

  // The parent hands on the edit's notifications (WM_COMMAND); true when it was this field's.
  bool HandleCommand(WPARAM wParam, LPARAM lParam);
  // Opens the browser, as Alt+Down and the browse button do.
  void Browse();
  // The dots per inch the window is drawn at: the browse button's width follows.
  void SetDpi(UINT dpi);

 private:
  // The edit's own procedure is replaced by this one, which hands on what it does not take
  // (through the window's procedure slot: the common controls' subclassing would load their
  // library at every start, for this alone).
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleEditMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT CallEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    return CallWindowProcA(editProc_, window, message, wParam, lParam);
  }
  void RestoreEditProc() const;
  void TextMayHaveChanged();
  void Layout();
  void FocusFromButton();

  CleanerContext* context_;
  Browser browser_;
  std::function<void()> changed_;
  std::string lastText_;
  std::string remembered_;
  bool clickingText_ = false;
  UINT dpi_ = 96;
  UniqueWindow edit_;
  WNDPROC editProc_ = nullptr;
  std::unique_ptr<BrowseButton> button_;
};
