#pragma once
// The report and the trace log: files the run writes for whoever started it, at a path they
// name, often in a folder where every user may add files (C:\Windows\Temp). Such a file is
// made afresh before the run changes anything: a folder, a link or a file with other names at
// the path is refused (writing there would change what it names); an existing plain file is
// removed, never written through, since a user may have made it in advance with an access list
// of their own; and the new file is made in its folder, held open, owned by Administrators and
// private to them and SYSTEM, so that nobody else can read or change it while the run writes.
#include <windows.h>

#include <string>

#include "platform/handles.h"

struct OutputFile {
  UniqueFile file;             // open for writing; empty when refused
  DWORD error = ERROR_SUCCESS;  // the system's answer when the file could not be made
  bool throughLink = false;     // refused: the path is a link or a file with other names
  bool folder = false;          // refused: the path is a folder
};

OutputFile MakeOutputFile(const std::wstring& path);

// Why the file could not be made, for a message that follows the path.
std::string OutputFileProblem(const OutputFile& made);
