#pragma once
// Registrations that name a program file: a service or driver key, a COM class, an App Paths
// entry and a Run value. Such an entry may go when the file it names is the product's or is
// gone; one naming an existing file of Windows or of another program is refused.
#include <string>
#include <string_view>

#include "engine/rules/registry_entry.h"

enum class RegistrationKind { None, Service, ComClass, AppPath };

// What the key is a registration of: exactly one level below the services, the COM classes or
// App Paths (any spelling the registry guard accepts, both roots for classes).
RegistrationKind RegistrationOf(RegistryRoot root, std::string_view keyPath);

// The registration a key belongs to: the key itself or the nearest key above it that is one
// (a COM class's InprocServer32, a service's Parameters), with that key's path as written
// in keyPath (a prefix of it). Its subkeys and values are judged as the registration whole.
struct RegistrationKey {
  RegistrationKind kind = RegistrationKind::None;
  std::string keyPath;
};
RegistrationKey RegistrationContaining(RegistryRoot root, std::string_view keyPath);

// True for a key whose values start programs: Run, RunOnce, RunServices, RunServicesOnce and
// the policy's Run list.
bool StartsProgramsFromValues(RegistryRoot root, std::string_view keyPath);

// Followed by the key or value, " names ", the file.
inline constexpr char kRefusedForeignRegistration[] = "Refused to delete registration of a file that is not the product's: ";
