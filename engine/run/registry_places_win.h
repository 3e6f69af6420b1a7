#pragma once
// Carries out one registry entry in each of its places (engine/run/registry_places.h), each
// through its own registry accessor.
#include <functional>
#include <string_view>

#include "engine/rules/registry_entry.h"
#include "engine/run/registry_places.h"

struct CleanerContext;
class RegistryAccessor;

// The accessor comes with the place's root and view selected and no key open; the action
// works with AccessPath(place). A place in the
// 64-bit view is passed over when its key is missing there, or is the same key as in the
// 32-bit view (Windows shares it, or there is only one view), which was dealt with already.
void ForEachPlace(CleanerContext& context, RegistryRoot root, std::string_view keyPath,
                  const std::function<void(const RegistryPlace&, RegistryAccessor&)>& action);
