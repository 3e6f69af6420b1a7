#pragma once
// The Windows side of the one root table: the predefined key each root stands for.
#include <windows.h>

#include "engine/registry_entry.h"

HKEY RootKeyOf(RegistryRoot root);
