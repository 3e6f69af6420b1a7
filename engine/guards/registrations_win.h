#pragma once
// The ownership check of registrations on this machine (registrations.h): the file a
// registration names, resolved as Windows would, and whether it is the product's.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/guards/registrations.h"

struct CleanerContext;

// The existing file that the registration key (open for reading; name: the key's own last
// name) names when it is not the product's; empty when the key names no file, the product's,
// or one that no longer exists.
std::wstring ForeignFileOfRegistration(CleanerContext& context, RegistrationKind kind, HKEY key,
                                       const std::wstring& name);

// The same for the program a command line (a Run value's data) starts.
std::wstring ForeignFileOfCommand(CleanerContext& context, const std::wstring& command);

// The product's: inside the run's program or shared folder, inside a folder the rule file
// deletes, or a file it deletes (both as the placeholders stand now).
bool IsProductFile(CleanerContext& context, const std::wstring& file);

// What the rule file deletes, read once per run when first needed.
struct ProductFiles {
  std::wstring programFolder, sharedFolder;  // upper case, full
  std::vector<std::wstring> folders, files;  // upper case, full
};
