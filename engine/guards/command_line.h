#pragma once
// The file a command line runs, found as Windows finds it: a quoted program as written; an
// unquoted one with blanks tried left to right ("C:\Program.exe", then "C:\Program Files\My.exe",
// ...), ".exe" added to a name without an extension, a bare name looked up in the System and
// the Windows folder and on the search path, a relative one taken from the Windows folder. The hosts that run
// another file are unwrapped to that file: rundll32 (its library), cmd /c and /k (and its
// start), powershell and pwsh (-File, -Command), wscript, cscript and mshta (their script).
// Portable: the file system is asked only through the probe.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// True when a file exists at the full path given.
using FileProbe = std::function<bool(const std::wstring&)>;

struct CommandFolders {
  std::wstring system;   // full, without a trailing backslash
  std::wstring windows;
  std::vector<std::wstring> path;  // the search path's folders, after those two
};

// The existing file the command line runs, after unwrapping hosts; empty when it names none
// that exists (a program that is gone, a host whose script is gone). A host that runs nothing
// the line names as a file (an encoded command, a web address) is itself the file.
std::wstring ResolveCommandFile(std::wstring_view command, const CommandFolders& folders, const FileProbe& exists);

// The existing file a path names (InprocServer32, ServiceDll, App Paths): blanks are part of
// it, quotes taken off, the extension added to a name without one (".dll" for a library, as
// LoadLibrary does), a bare name looked up as above; empty when none exists.
std::wstring ResolvePathFile(std::wstring_view path, const wchar_t* extension, const CommandFolders& folders,
                             const FileProbe& exists);
