#pragma once
// Loads the common controls' library and registers its classes, the first time a window that
// needs them is made (the hint window, the shell's folder browser with its tree): the main
// window draws its own status bar, so a plain start never loads the library. False where the
// library or its entry point is missing.
bool InitializeCommonControlsOnce();
