#pragma once
// The two registry views of a 64-bit Windows. A 32-bit program sees the 32-bit view
// (HKLM\Software\WOW6432Node and the redirected class keys) unless it asks for the 64-bit
// one; on a 32-bit Windows there is only one view and the request is ignored.
#include <string_view>

// Put before the full name of a key reached through the 64-bit view, in every report.
inline constexpr std::string_view k64BitViewLabel = "(64-bit view) ";
inline constexpr std::wstring_view k64BitViewLabelWide = L"(64-bit view) ";

// True when this 32-bit program runs on a 64-bit Windows (IsWow64Process).
bool RunsOn64BitWindows();
