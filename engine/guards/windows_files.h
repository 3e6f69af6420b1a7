#pragma once
// Windows' own files: inside the Windows folder, a file that Windows Resource Protection
// protects or TrustedInstaller owns, an executable whose version resource names Microsoft as
// its company, and the system's data files. None is ever deleted, and a folder inside the
// Windows folder that holds one is refused whole. The product's own files there (a hook
// library, a settings file) carry none of these marks and stay removable.
#include <span>
#include <string>
#include <string_view>

// The system's data files, by name, wherever they lie inside the Windows folder.
std::span<const std::wstring_view> SystemDataFileNames();
bool IsSystemDataFileName(std::wstring_view name);  // a to z in either case

// True for a version resource's company naming Microsoft, in any letter case.
bool NamesMicrosoft(std::wstring_view company);
