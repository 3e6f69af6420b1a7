#pragma once
// The checks of Windows' own files on this machine (windows_files.h).
#include <windows.h>

#include <string>
#include <vector>

struct CleanerContext;
struct SystemMirror;

// Followed by the file, " (", why it is Windows' own, ")".
inline constexpr char kRefusedWindowsFileText[] = "Refused to delete Windows' own file ";
// Followed by the folder, " - it holds ", the file, " (", why, ")".
inline constexpr char kRefusedWindowsFolderText[] = "Refused to delete folder holding Windows' own files ";

// The reason given where the checks cannot answer (their libraries did not load).
inline constexpr char kWindowsFileChecksUnavailable[] =
    "it cannot be checked: version.dll or sfc.dll could not be loaded";

// Loads the libraries the checks call (version.dll, sfc.dll) from the System folder. On 64-bit
// Windows a 32-bit program cannot load a library while the file system redirection is off:
// call this before the run first turns it off. True when every check can answer; a library
// that failed is tried again at the next call.
bool LoadWindowsFileChecks();
// Forgets what was loaded; later loads look in folder (the System folder when empty). Tests
// stand for a load that fails with a folder that holds no libraries.
void LoadWindowsFileChecksFrom(const std::wstring& folder);

// The name Windows Resource Protection knows a file by: one reached through Sysnative, the
// real System32 of a 32-bit program on 64-bit Windows, by its own name (the System folder's).
std::wstring NameWindowsProtects(const SystemMirror& mirror, const std::wstring& path);

// The company names of the file's version resource, one for each language it is given in;
// none when it has no version resource or the checks' libraries did not load.
std::vector<std::wstring> VersionCompanies(const std::wstring& path);

// Why the file at path (full, ordinary or extended form) is Windows' own, or empty when it is
// not or lies outside Windows' places (the Windows folder, Windows' parts of Program Files,
// Common Files and ProgramData).
std::string WindowsOwnFileReason(CleanerContext& context, const std::wstring& path);

// The child `name` of the folder open as parent, judged by the path the system gives for it:
// true, with the refused line naming the file as shown, when it is Windows' own.
bool RefuseWindowsOwnFile(CleanerContext& context, HANDLE parent, const std::wstring& name, const std::string& shown);

// True, with the refused line, when the folder (extended form) lies inside Windows' places
// and holds, at any depth, one of Windows' own files. Links inside are not followed. The
// folder is taken for the product's: its desktop.ini and a private copy of a Microsoft
// library (marked by its version resource alone: Windows does not protect it, TrustedInstaller
// does not own it, no program lists it among the shared libraries) do not count.
bool RefuseFolderHoldingWindowsFiles(CleanerContext& context, const std::wstring& folder, const std::string& shown);

// The same without a line: whether the folder lies inside the Windows folder and holds one of
// Windows' own files at any depth.
bool HoldsWindowsOwnFiles(CleanerContext& context, const std::wstring& folder);
