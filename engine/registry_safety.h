#pragma once
// Registry keys that a delete-key entry must never remove as a whole, whatever the rule
// file says.
#include <string_view>

#include "engine/registry_entry.h"

// True for a path that names no key at all (empty, or only backslashes): deleting it
// would empty the root key.
bool NamesNoKey(std::string_view keyPath);

// True for a key that Windows or other programs share. Letter case, leading, trailing and
// doubled backslashes do not matter.
bool IsSharedRegistryKey(RegistryRoot root, std::string_view keyPath);
