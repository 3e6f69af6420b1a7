#pragma once
// Registrations that name a program file: a service or driver key, a COM class, an App Paths
// entry and a Run value. Such an entry may go when the file it names is the product's or is
// gone; one naming an existing file of Windows or of another program is refused.
#include <string>
#include <string_view>

#include "engine/guards/registry_safety.h"
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
// ProductData: one of its values names the product's file or folder (Winlogon's notification
// packages, whose DllName is the library).
enum class Evidence { None, ProductService, ProductClass, ProductProgram, ProductData };
Evidence EvidenceNeededFor(RegistryRoot root, std::string_view keyPath);
// What evidence a key there lacked, for the line that refuses it.
std::string_view MissingEvidenceText(Evidence evidence);

// True for a key inside a tree Windows needs whole whose values products still keep, one per
// item: the firewall's rules (each names its program in "App=").
bool KeepsProductValuesInWindowsTree(RegistryRoot root, std::string_view keyPath);

// What the product's evidence is asked of before an entry in one of Windows' own namespaces
// goes (what the lists let go there is no more than a candidate). Key: the registration the
// entry's key belongs to, the key right below the place where products register, judged whole
// (its name, its values and its subkeys'); namedExactly when the entry names that key itself,
// for only then may its name alone be the evidence. Value: in a place where products keep
// values, each value is its own item. None: outside Windows' namespaces, or where the lists
// refuse the entry anyway.
enum class EvidenceItemKind { None, Key, Value };
struct EvidenceItem {
  EvidenceItemKind kind = EvidenceItemKind::None;
  std::string keyPath;  // a prefix of the entry's key path, as written
  bool namedExactly = false;
};
EvidenceItem EvidenceItemOfKey(RegistryRoot root, std::string_view keyPath);
EvidenceItem EvidenceItemOfValue(RegistryRoot root, std::string_view keyPath);

// True for a key whose values start programs: Run, RunOnce, RunServices, RunServicesOnce and
// the policy's Run list.
bool StartsProgramsFromValues(RegistryRoot root, std::string_view keyPath);

// What an item without the product's evidence lacked, for the line that refuses it.
inline constexpr char kNoProductEvidenceText[] =
    "neither its name nor its data names the product's service, class, program, file or folder";

// Followed by the key, " - ", what evidence was missing.
inline constexpr char kRefusedWithoutEvidence[] = "Refused to delete key without the product's evidence: ";
// Followed by the key, "\", the value, " - ", what evidence was missing.
inline constexpr char kRefusedValueWithoutEvidence[] = "Refused to change value without the product's evidence: ";
// Followed by the key or value, " names ", the file.
inline constexpr char kRefusedForeignRegistration[] = "Refused to delete registration of a file that is not the product's: ";
