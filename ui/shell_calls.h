#pragma once
// The few shell32 and ole32 calls the window uses, looked up the first time one is needed:
// the window's start-up does without both libraries, which cost a process some megabytes of
// memory and the time to map them.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

struct ShellCalls {
  decltype(&SHBrowseForFolderA) browse = nullptr;
  decltype(&SHGetPathFromIDListA) pathOf = nullptr;
  decltype(&DragFinish) dragFinish = nullptr;
  decltype(&CoInitialize) initialize = nullptr;
  decltype(&CoTaskMemFree) free = nullptr;
};

// Loads shell32 and ole32 from the System folder once, kept for the program's life; raises
// Exception with the Win32 error when a library or a call cannot be found.
const ShellCalls& ShellApi();
