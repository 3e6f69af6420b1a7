#pragma once
// The places one registry entry acts in. Windows keeps some keys twice, and a delete through
// one name removes only one copy: a 32-bit program on a 64-bit Windows sees only the 32-bit
// view, and HKEY_CLASSES_ROOT merges the machine's classes with the user's. An entry is
// therefore carried out in every copy, each a place of its own with its own report names.
#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/registry_entry.h"
#include "platform/registry/user_hives.h"

// The trace line of a run that acts in both views.
inline constexpr char kBothViewsTrace[] = "64-bit Windows: registry entries act in the 32-bit and the 64-bit view";

struct RegistryPlace {
  RegistryRoot root;     // HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER for class entries
  std::string keyPath;   // below the root; the entry's own path, under Software\Classes for classes
  bool view64 = false;   // the 64-bit view, asked for explicitly
  std::string hive{};    // another user's hive below HKEY_USERS, for HKEY_CURRENT_USER places
  bool operator==(const RegistryPlace&) const = default;
};

// Where an entry with this root and key path acts: a class entry in the machine's and the
// user's classes; a current user's place also in each of the other users' hives (a class
// entry there in Software\Classes and in the user's classes hive); and with
// bothViews every place in the 32-bit view first and then in the 64-bit view. None for a
// path with a name beyond the registry's limit, which no key can have.
std::vector<RegistryPlace> PlacesOf(RegistryRoot root, std::string_view keyPath, bool bothViews,
                                    const std::vector<UserHive>& otherUsers = {});

// The key path the place's accessor works with, below HKEY_USERS for another user's hive.
std::string AccessPath(const RegistryPlace& place);

// The place's key as the reports name it: "(64-bit view) HKEY_LOCAL_MACHINE\Software\X",
// "HKEY_USERS\S-1-5-21-...\Software\X".
std::string PlaceKeyName(const RegistryPlace& place);
