#pragma once
// The product's evidence on this machine for an item in Windows' own registry namespaces
// (registrations.h, EvidenceItemOfKey and EvidenceItemOfValue): what its name or data names.
#include <windows.h>

#include <string>

#include "engine/rules/registry_entry.h"

struct CleanerContext;

// How an item showed it is the product's. ByName: only its name, made of the product's names,
// which counts for the item the entry names and reaches no further. ByMachine: its name or data
// names one of the product's identities, which the run then remembers.
enum class ProductEvidence { None, ByName, ByMachine };

// Whether the text (a key's or value's name, a value's data) names the product: its file or
// folder (a path, an icon, a command line, a firewall rule's program), a class whose server is
// the product's (or whose AppID's service is), an AppID or an event publisher of the product's,
// a service whose file is the product's, a ProgID whose class or open command is the product's,
// a Windows Installer product installed in the product's
// folder, the file name of one of the product's programs, or an item the run found to be the
// product's before.
bool TextNamesProduct(CleanerContext& context, const std::wstring& text, bool native);

// The registration `key` (open for reading; keyPath: its path below root, as the guards read
// it), judged whole: its name, and the names and data of its values and of its subkeys' (a few
// levels deep, a bounded number), but not of a place below it where products register, whose
// keys are items of their own (the event log service's sources). namedExactly: the entry names
// this key itself, so its name alone may be the evidence.
ProductEvidence KeyEvidence(CleanerContext& context, HKEY key, RegistryRoot root, const std::string& keyPath,
                            bool namedExactly, bool native);

// One value where products keep values of their own: its name or its data.
ProductEvidence ValueEvidence(CleanerContext& context, HKEY key, const std::wstring& name, bool native);

// An item that went with the machine's evidence stays the product's for the rest of the run,
// after its key is gone: a handler naming a class deleted earlier is still the product's.
void RememberProductItem(CleanerContext& context, const std::wstring& name);
