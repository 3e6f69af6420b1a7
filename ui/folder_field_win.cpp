#include <windows.h>

#include "ui/folder_field.h"

#include <shellapi.h>

#include <utility>
#include <vector>

#include "platform/files/files.h"
#include "ui/dpi.h"
#include "ui/error_handler.h"
#include "ui/folder_browser.h"
#include "ui/folder_rules.h"
#include "ui/shell_calls.h"
#include "ui/window_text.h"

FolderField::FolderField(HWND parent, int id, const RECT& bounds, CleanerContext* context,
                         Browser browser)
    : context_(context), browser_(std::move(browser)) {
  // No WS_EX_ACCEPTFILES: files dragged from the shell are refused.
  edit_.Reset(CreateWindowExA(
      WS_EX_CLIENTEDGE, "EDIT", "",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_LEFT | ES_AUTOHSCROLL | ES_OEMCONVERT,
      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr));
  button_ = std::make_unique<BrowseButton>(
      edit_.Get(), context_, [this] { FocusFromButton(); }, [this] { Browse(); });
  if (edit_) {
    SetWindowLongPtrA(edit_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    editProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FolderField::EditProc)));
  }
  Layout();
}

FolderField::~FolderField() {
  RestoreEditProc();
  button_.reset();
  edit_.Reset();
}

std::string FolderField::Text() const { return WindowText(edit_.Get()); }

void FolderField::SetText(const std::string& text) {
  if (text == Text()) return;
  SetWindowTextA(edit_.Get(), text.c_str());
  // EN_CHANGE normally reports this already; the comparison keeps it to one event.
  TextMayHaveChanged();
}

bool FolderField::HandleCommand(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != edit_.Get() || !edit_) return false;
  if (HIWORD(wParam) == EN_CHANGE) TextMayHaveChanged();
  return true;
}

void FolderField::TextMayHaveChanged() {
  std::string now = Text();
  if (now == lastText_) return;
  lastText_ = std::move(now);
  if (changed_) changed_();
}

void FolderField::Layout() {
  RECT inner{};
  GetClientRect(edit_.Get(), &inner);
  const int buttonWidth = ScaleToDpi(kBrowseButtonWidth, dpi_);
  button_->Place(RECT{inner.right - buttonWidth, 0, inner.right, inner.bottom});
  SendMessageA(edit_.Get(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
               MAKELONG(0, buttonWidth + ScaleToDpi(kFolderTextGap, dpi_)));
}

void FolderField::SetDpi(UINT dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  Layout();
}

void FolderField::FocusFromButton() {
  HWND edit = edit_.Get();
  const bool tabStop = (GetWindowLongA(edit, GWL_STYLE) & WS_TABSTOP) != 0;
  if (tabStop && IsWindowEnabled(edit) && IsWindowVisible(edit) && GetFocus() != edit) {
    SetFocus(edit);
  }
}

void FolderField::Browse() {
  const std::string start = BrowseStartFolder(Text(), remembered_, &IsExistingFolder);
  std::optional<std::string> chosen;
  {
    CriticalErrorBoxesOff boxesOff;
    chosen = browser_(start);
  }
  SetFocus(edit_.Get());
  if (!chosen) return;
  SendMessageA(edit_.Get(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
  TextMayHaveChanged();
  SetText(*chosen);
  if (IsExistingFolder(*chosen)) remembered_ = *chosen;
}

void FolderField::RestoreEditProc() const {
  if (!edit_ || editProc_ == nullptr) return;
  SetWindowLongPtrA(edit_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc_));
  SetWindowLongPtrA(edit_.Get(), GWLP_USERDATA, 0);
}

LRESULT CALLBACK FolderField::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* field = reinterpret_cast<FolderField*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (field == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    field->RestoreEditProc();
    return field->CallEdit(window, message, wParam, lParam);
  }
  LRESULT result = 0;
  Guarded(field->context_, [&] { result = field->HandleEditMessage(window, message, wParam, lParam); });
  return result;
}

LRESULT FolderField::HandleEditMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSKEYDOWN:
      if (wParam == VK_DOWN && (HIWORD(lParam) & KF_ALTDOWN)) {  // taken here, not passed on
        Browse();
        return 0;
      }
      break;
    case WM_DROPFILES:
      ShellApi().dragFinish(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_LBUTTONDOWN: {
      // Focus that arrives by a click into the text keeps the caret where it was clicked.
      clickingText_ = true;
      const LRESULT result = CallEdit(window, message, wParam, lParam);
      clickingText_ = false;
      return result;
    }
    case WM_SETFOCUS: {
      const LRESULT result = CallEdit(window, message, wParam, lParam);
      if (!clickingText_) SendMessageA(window, EM_SETSEL, 0, -1);
      return result;
    }
    case WM_SIZE:
    case WM_SETFONT: {
      // The edit resets its margins to the font's when the font changes.
      const LRESULT result = CallEdit(window, message, wParam, lParam);
      Layout();
      return result;
    }
    default:
      break;
  }
  return CallEdit(window, message, wParam, lParam);
}
