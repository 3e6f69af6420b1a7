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
// or one that no longer exists. The file is found as Windows finds it (command_line.h), its
// environment strings expanded as the reading process would (native: a 64-bit one).
std::wstring ForeignFileOfRegistration(CleanerContext& context, RegistrationKind kind, HKEY key,
                                       const std::wstring& name, bool native);

// The same for the program a command line (a Run value's data) starts, hosts unwrapped.
std::wstring ForeignFileOfCommand(CleanerContext& context, const std::wstring& command, bool native);

// Whether this machine shows that the key `name`, right below a place of EvidenceNeededFor,
// is the product's: the service or class of that name names an existing file of the
// product, or one of the product's files has that name.
// key: the key itself, open for reading, whose values ProductData asks.
bool HasProductEvidence(CleanerContext& context, Evidence evidence, HKEY key, const std::wstring& name, bool native);

// Whether the path (a library, a folder, an icon "file,index") or the command line names the
// product's file or folder, whether or not it is still there: found as Windows finds it where
// it exists, compared by its path where it is gone (the run may have deleted it already).
bool PathNamesProductFile(CleanerContext& context, const std::wstring& path, bool native);
bool CommandNamesProductFile(CleanerContext& context, const std::wstring& command, bool native);

// The product's: inside the run's program or shared folder, inside a folder the rule file
// deletes, or a file it deletes (as the placeholders stand now), compared as the objects the
// paths open (8.3 names, "\\?\", "..", "/" and the twins of 64-bit Windows alike). A line the
// guards refuse vouches for nothing.
bool IsProductFile(CleanerContext& context, const std::wstring& file);

// What the rule file deletes, read once per run when first needed: the comparison forms of
// the folders (the program and shared folder among them) and of the files.
struct ProductFiles {
  std::vector<std::wstring> folders, files;
};
