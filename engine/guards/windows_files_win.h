#pragma once
// The checks of Windows' own files on this machine (windows_files.h).
#include <windows.h>

#include <string>

struct CleanerContext;

// Followed by the file, " (", why it is Windows' own, ")".
inline constexpr char kRefusedWindowsFileText[] = "Refused to delete Windows' own file ";
// Followed by the folder, " - it holds ", the file, " (", why, ")".
inline constexpr char kRefusedWindowsFolderText[] = "Refused to delete folder holding Windows' own files ";

// Why the file at path (full, ordinary or extended form) is Windows' own, or empty when it is
// not or lies outside the Windows folder.
std::string WindowsOwnFileReason(CleanerContext& context, const std::wstring& path);

// The child `name` of the folder open as parent, judged by the path the system gives for it:
// true, with the refused line naming the file as shown, when it is Windows' own.
bool RefuseWindowsOwnFile(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::string& shown);

// True, with the refused line, when the folder (extended form) lies inside the Windows folder
// and holds, at any depth, one of Windows' own files. Links inside are not followed.
bool RefuseFolderHoldingWindowsFiles(CleanerContext& context, const std::wstring& folder, const std::string& shown);

// The same without a line: whether the folder lies inside the Windows folder and holds one of
// Windows' own files at any depth.
bool HoldsWindowsOwnFiles(CleanerContext& context, const std::wstring& folder);
