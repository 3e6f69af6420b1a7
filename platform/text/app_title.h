#pragma once
// The application title: the executable's file name without its folder, cut before its
// first ".", every character after the first one lower-cased. It is the caption of the
// simple message and of the error box.
#include <functional>
#include <string>
#include <string_view>

// Lower-cases a text in place; the Windows build passes CharLowerA.
using LowerCaser = std::function<void(std::string&)>;

// Lower-cases A to Z only.
void LowerAsciiInPlace(std::string& text);

// The title rule for a path as the system reports it (already in the ANSI code page).
std::string ApplicationTitleFromPath(std::string_view path, const LowerCaser& lower = LowerAsciiInPlace);

// Windows only: GetModuleFileNameA, OEM to ANSI, then the rule with CharLowerA.
std::string ApplicationTitle();
