#pragma once
// The text of a window or control, whatever its length.
#include <windows.h>

#include <string>

std::string WindowText(HWND window);
