#include <windows.h>

#include "ui/shell_calls.h"

#include <string>

#include "platform/files/files.h"
#include "ui/folder_browser.h"

namespace {

template <typename Call>
void LookUp(HMODULE module, const char* name, Call& call) {
  if (module) call = reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// From the System folder by its full path: never a library of that name beside the program.
HMODULE LoadSystemLibrary(const char* name) { return LoadLibraryA((SystemFolder() + "\\" + name).c_str()); }

}  // namespace

const ShellCalls& ShellApi() {
  static const ShellCalls calls = [] {
    ShellCalls found;
    const HMODULE shell = LoadSystemLibrary("shell32.dll");
    const HMODULE ole = LoadSystemLibrary("ole32.dll");
    LookUp(shell, "SHBrowseForFolderA", found.browse);
    LookUp(shell, "SHGetPathFromIDListA", found.pathOf);
    LookUp(shell, "DragFinish", found.dragFinish);
    LookUp(ole, "CoInitialize", found.initialize);
    LookUp(ole, "CoTaskMemFree", found.free);
    return found;
  }();
  if (!calls.browse || !calls.pathOf || !calls.dragFinish || !calls.initialize || !calls.free) RaiseLastWin32Error();
  return calls;
}
