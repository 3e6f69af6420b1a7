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

// Places where anti-virus products register themselves inside Windows' own trees, where
// nothing goes on its name alone: a key right below one goes only with the machine's evidence
// that it is the product's. ProductService: its name is a service whose file is the product's
// (Safe Mode's Minimal and Network lists). ProductClass: its name is a class whose server is the
// product's file (AMSI providers, credential providers, Control Panel's namespace).
// ProductProgram: its name is the file name of one of the product's programs (Windows Error
// Reporting's LocalDumps).
enum class Evidence { None, ProductService, ProductClass, ProductProgram };
Evidence EvidenceNeededFor(RegistryRoot root, std::string_view keyPath);
// What evidence a key there lacked, for the line that refuses it.
std::string_view MissingEvidenceText(Evidence evidence);

// True for a key whose values start programs: Run, RunOnce, RunServices, RunServicesOnce and
// the policy's Run list.
bool StartsProgramsFromValues(RegistryRoot root, std::string_view keyPath);

// Followed by the key, " - ", what evidence was missing.
inline constexpr char kRefusedWithoutEvidence[] = "Refused to delete key without the product's evidence: ";
// Followed by the key or value, " names ", the file.
inline constexpr char kRefusedForeignRegistration[] = "Refused to delete registration of a file that is not the product's: ";
