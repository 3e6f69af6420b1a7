#pragma once
// The shell's folder browser as the folder field uses it.
#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>

struct CleanerContext;

// Shows SHBrowseForFolderA over the whole shell namespace, owned by the given window,
// centred on the screen, starting at the folder when it exists, OK enabled only on existing
// folders. Every window of the thread is disabled meanwhile and the active one activated
// again afterwards. Returns the chosen path without its trailing `\` (drive roots keep it),
// or nothing on Cancel. A failed path lookup raises Exception "Win32 Error.  Code: ...".
std::optional<std::string> BrowseForFolder(HWND owner, const std::string& startFolder,
                                           CleanerContext* context);

// SHGetPathFromIDListA; raises the Win32 error when the item has no file-system path.
std::string PathOfItem(PCIDLIST_ABSOLUTE item);

// Raises Exception with the text of GetLastError.
[[noreturn]] void RaiseLastWin32Error();

// Switches off the system's critical-error and open-file-error boxes for one scope.
class CriticalErrorBoxesOff {
 public:
  CriticalErrorBoxesOff() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~CriticalErrorBoxesOff() { SetErrorMode(previous_); }
  CriticalErrorBoxesOff(const CriticalErrorBoxesOff&) = delete;
  CriticalErrorBoxesOff& operator=(const CriticalErrorBoxesOff&) = delete;

 private:
  UINT previous_;
};
