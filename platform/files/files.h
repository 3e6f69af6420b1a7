#pragma once
// File system tests and enumeration (UTF-16 calls), and the program's own environment.
#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "platform/text/text_rules.h"

bool IsExistingFile(const std::string& path);    // any existing non-folder, whatever its time stamp
bool IsExistingFolder(const std::string& path);  // GetFileAttributesA has the directory flag
// The same tests on a UTF-16 path; a full path beyond MAX_PATH is taken in extended form.
bool IsExistingFileWide(const std::wstring& path);
bool IsExistingFolderWide(const std::wstring& path);
// GetFileAttributesW on the same terms; INVALID_FILE_ATTRIBUTES with the error when it fails.
DWORD AttributesWide(const std::wstring& path);

// The absolute form Windows makes of a path (GetFullPathNameW: `/` read as `\`, `.` and
// `..` resolved, trailing dots and blanks of the last name dropped); empty on failure.
std::wstring FullPathWide(const std::wstring& path);
// The text with every %NAME% of the environment put in; the text as it is when that fails.
std::wstring ExpandedEnvironmentText(const std::wstring& text);

struct DirectoryEntry {
  std::wstring name;  // the name as the file system holds it, never converted
  DWORD attributes = 0;
};

// Enumerates a folder with FindFirstFileExW (basic information, large fetch; the plain form
// where the system knows neither) and FindNextFileW; nothing is filtered out, "." and ".."
// included. The folder is a full path, extended or not.
class FolderEnumeration {
 public:
  explicit FolderEnumeration(const std::wstring& folder);
  // Fills the next entry; false when there is none (or the folder could not be listed).
  bool Next(DirectoryEntry& entry);

 private:
  UniqueFind find_;
  WIN32_FIND_DATAW data_{};
  bool pending_ = false;
};

std::string WindowsFolder();  // GetWindowsDirectoryA, 255-byte buffer
std::string SystemFolder();   // GetSystemDirectoryA, 255-byte buffer
std::string ProgramPath();    // GetModuleFileNameA, 261-byte buffer
// GetCommandLineW in UTF-8: names in every alphabet, never the code page's look-alikes.
std::string CommandLineText();
