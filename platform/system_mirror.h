#pragma once
// The real System32 of a 32-bit program on 64-bit Windows. There the system redirects the
// program's System folder ("C:\Windows\system32") to SysWOW64; the 64-bit System32 is
// reached through "%windir%\Sysnative", which only a 32-bit process on 64-bit Windows sees.
#include <string>
#include <string_view>

struct SystemMirror {
  std::wstring systemFolder;  // the System folder as the program sees it, ordinary form
  std::wstring nativeFolder;  // the real System32 as the program reaches it; empty when none
};

// The same path in the real System32 when path lies strictly below the System folder
// (letters a to z in either case) and a native folder is known; otherwise empty. Both paths
// in ordinary form.
std::wstring InRealSystemFolder(const SystemMirror& mirror, std::wstring_view path);

// Whether path lies in the real System32 as InRealSystemFolder names it.
bool IsInRealSystemFolder(const SystemMirror& mirror, std::wstring_view path);

// The machine's: the native folder only when the program runs under WOW64.
SystemMirror CurrentSystemMirror();

// Follows a path in the real System32 in reports.
inline constexpr char kRealSystemFolderLabel[] = " (64-bit System32)";
