#pragma once
// The Windows side of the one root table: the predefined key each root stands for.
#include <windows.h>

#include "engine/rules/registry_entry.h"

HKEY RootKeyOf(RegistryRoot root);
