#pragma once
// The program's hidden application window: a top-level window that is never shown, with
// the application title as its text. It owns the error box.
#include <windows.h>

// Created on the first call, on the calling thread, and kept for the program's life.
HWND ApplicationWindow();
