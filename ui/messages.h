#pragma once
// The simple message (a modal notice with one OK button, made by the program) and the
// "Confirm File Delete" question.
#include <windows.h>

#include <string>

// Window class of the simple message and the control id of its text, so that tests can
// find the dialog and read it the way they read a platform message box.
inline constexpr char kSimpleMessageClass[] = "VelmoraSimpleMessage";
inline constexpr int kSimpleMessageTextId = 0xFFFF;

// Shows the text with the application title as caption and returns once the user has
// closed the dialog (OK, Enter, Escape or the close box). Every other window of the
// thread is disabled meanwhile.
void ShowSimpleMessage(const std::string& text);

// A Yes/No platform message box owned by the given window, which stays disabled while the
// question is open; true only when the answer is Yes.
bool ConfirmYesNo(HWND owner, const std::string& text);
