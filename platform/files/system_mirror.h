#pragma once
// The real System32 of a 32-bit program on 64-bit Windows. There the system redirects the
// program's System folder ("C:\Windows\system32") to SysWOW64; the 64-bit System32 is
// reached through "%windir%\Sysnative", which only a 32-bit process on 64-bit Windows sees.
// Program Files and Common Files are not redirected but twinned: the program is told of the
// 32-bit ones ("C:\Program Files (x86)"), where a product's 64-bit parts never are.
#include <string>
#include <string_view>
#include <vector>

// A 32-bit folder and its 64-bit twin, ordinary form.
struct FolderTwin {
  std::wstring folder;
  std::wstring twin;
};

struct SystemMirror {
  std::wstring systemFolder;  // the System folder as the program sees it, ordinary form
  std::wstring nativeFolder;  // the real System32 as the program reaches it; empty when none
  // Common Files (x86) and Program Files (x86) with their 64-bit twins, Common Files first
  // (it lies inside Program Files); empty when there are none.
  std::vector<FolderTwin> programFolders{};
};

// The same path in the 64-bit twin of the first of programFolders it lies strictly below
// (letters a to z in either case); otherwise empty. Both paths in ordinary form.
std::wstring InNativeProgramFolder(const SystemMirror& mirror, std::wstring_view path);

// Whether path lies in one of the 64-bit twins of programFolders.
bool IsInNativeProgramFolder(const SystemMirror& mirror, std::wstring_view path);

// Follows a path in a 64-bit Program Files or Common Files folder in reports.
inline constexpr char kNativeProgramFolderLabel[] = " (64-bit Program Files)";

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
