#pragma once
// File system tests and the program's own environment (kernel32, ANSI calls).
#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "platform/text_rules.h"

bool IsExistingFile(const std::string& path);    // any existing non-folder, whatever its time stamp
bool IsExistingFolder(const std::string& path);  // GetFileAttributesA has the directory flag
bool IsExistingFileWide(const std::wstring& path);

struct DirectoryEntry {
  std::string name;
  DWORD attributes = 0;
};

// Enumerates a pattern with FindFirstFileA/FindNextFileA; nothing is filtered out.
class FolderEnumeration {
 public:
  explicit FolderEnumeration(const std::string& pattern);
  // Fills the next entry; false when there is none (or the pattern matched nothing).
  bool Next(DirectoryEntry& entry);

 private:
  UniqueFind find_;
  WIN32_FIND_DATAA data_{};
  bool pending_ = false;
};

std::string WindowsFolder();  // GetWindowsDirectoryA, 255-byte buffer
std::string SystemFolder();   // GetSystemDirectoryA, 255-byte buffer
std::string ProgramPath();    // GetModuleFileNameA, 261-byte buffer
std::string CommandLineText();  // GetCommandLineA
std::string TimeStamp();      // the trace log's stamp from the thread locale's patterns
// The locale facts of the stamp; TimeStamp reads them once, for the thread's locale.
TimeLocale ReadTimeLocale(LCID locale);

// Windows-1251 text to UTF-16, for names that must be the same whatever the ANSI code page.
std::wstring WideFromCodePage(const std::string& text, UINT codePage);
