#include <windows.h>

#include "ui/folder_browser.h"

#include <objbase.h>

#include <memory>

#include "platform/errors.h"
#include "platform/files/files.h"
#include "ui/common_controls.h"
#include "ui/error_handler.h"
#include "ui/folder_rules.h"
#include "ui/modal_scope.h"
#include "ui/shell_calls.h"

namespace {

struct ItemFree {
  void operator()(ITEMIDLIST* item) const { ShellApi().free(item); }
};
using UniqueItem = std::unique_ptr<ITEMIDLIST, ItemFree>;

struct BrowseSession {
  std::string startFolder;
  CleanerContext* context;
};

void CentreOnScreen(HWND window) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int x = (screenWidth - width) / 2;
  int y = (screenHeight - height) / 2;
  if (x + width > screenWidth) x = screenWidth - width;
  if (y + height > screenHeight) y = screenHeight - height;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool HasExistingFolderPath(PCIDLIST_ABSOLUTE item) {
  char path[MAX_PATH] = {};
  return item != nullptr && ShellApi().pathOf(item, path) && IsExistingFolder(path);
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
  auto* session = reinterpret_cast<BrowseSession*>(data);
  Guarded(session->context, [&] {
    if (message == BFFM_INITIALIZED) {
      CentreOnScreen(dialog);
      if (IsExistingFolder(session->startFolder)) {
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE,
                     reinterpret_cast<LPARAM>(session->startFolder.c_str()));
      }
    } else if (message == BFFM_SELCHANGED) {
      const bool enable = HasExistingFolderPath(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam));
      SendMessageA(dialog, BFFM_ENABLEOK, 0, enable ? TRUE : FALSE);
    }
  });
  return 0;
}

void InitializeComOnce() {
  static const HRESULT result = ShellApi().initialize(nullptr);
  (void)result;
}

}  // namespace

void RaiseLastWin32Error() {
  const DWORD code = GetLastError();
  char* buffer = nullptr;
  std::string systemText;
  if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr) != 0 &&
      buffer != nullptr) {
    systemText = buffer;
  }
  if (buffer != nullptr) LocalFree(buffer);
  throw Exception(Win32ErrorText(code, systemText));
}

std::string PathOfItem(PCIDLIST_ABSOLUTE item) {
  char path[MAX_PATH] = {};
  SetLastError(0);
  if (!ShellApi().pathOf(item, path)) RaiseLastWin32Error();
  return path;
}

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& startFolder,
                                           CleanerContext* context) {
  InitializeComOnce();
  InitializeCommonControlsOnce();  // its tree; a start without the browser never loads them
  BrowseSession session{startFolder, context};
  char displayName[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = nullptr;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&session);
  UniqueItem item;
  {
    ModalScope modal;  // every window of the program is disabled while the browser is open
    item.reset(ShellApi().browse(&info));
  }
  if (!item) return std::nullopt;
  return WithoutTrailingBackslash(PathOfItem(item.get()));
}
