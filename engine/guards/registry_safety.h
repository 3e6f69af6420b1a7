#pragma once
// What a registry entry may never delete or rename, whatever the rule file says: keys that
// Windows or other programs share, trees inside which nothing may go, values Windows reads,
// and, in Windows' own namespaces, everything but the places where products register. The lists are kept in one place (registry_safety.cpp) and applied to every spelling
// of a key: letter case (compared as UTF-16), leading, trailing and doubled backslashes,
// HKEY_CLASSES_ROOT or SOFTWARE\Classes under either root, WOW6432Node, and
// CurrentControlSet or any ControlSetNNN.
#include <cstddef>
#include <span>
#include <string_view>

#include "engine/rules/registry_entry.h"

// True for a path that names no key at all (empty, or only backslashes): deleting it
// would empty the root key.
bool NamesNoKey(std::string_view keyPath);

enum class KeyVerdict {
  Deletable,
  SharedKey,      // a key Windows or other programs share, or a key above one: product keys below may go
  ProtectedTree,  // the key is, or lies inside, a tree nothing of which may be deleted
  StructuralKey,  // in Windows' own namespaces, and not below a place where products register
  OverlongName,   // a name longer than the registry's 255 characters: it can name no key, so the line is a mistake
};

// May a value of this key be deleted or renamed?
enum class ValueVerdict {
  Changeable,
  WindowsSetting,    // a key Windows reads its settings from, or inside a protected tree
  NotAProductPlace,  // in Windows' own namespaces, neither a place where products keep values nor a product's key
  OverlongName,      // the key path holds a name longer than the registry's 255 characters
};

// The registry's limit for one key name.
inline constexpr std::size_t kLongestKeyName = 255;
// True for a path with a name beyond that limit, at any depth: it can name no key anywhere.
bool HasOverlongKeyName(std::string_view keyPath);

// One row of the table of places where products register in Windows' namespaces: keys
// products create below it (a key below is then deletable), values products keep in it.
// "HKCR\<file type>\..." stands for the key below each of the shell's file types.
struct ProductPlace {
  std::string_view key;
  bool keys;
  bool values;
};

// The key path as the registry is handed it (UTF-16), or as the rule file writes it (ANSI:
// each byte taken as the character of that number, which is exact for every name on the lists).
KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::wstring_view keyPath);
KeyVerdict JudgeKeyDeletion(RegistryRoot root, std::string_view keyPath);

// True for a key whose values may be neither deleted nor renamed: any key inside a protected
// tree, any shared key of the classes (the file-type keys of executables, links and the
// shell's objects, and their shell\open\command and other structural children, but not
// OpenWithProgids and OpenWithList, whose values name the programs), and the few keys Windows
// reads its settings from (Windows\CurrentVersion itself, the user's Environment, ...).
ValueVerdict JudgeValueChange(RegistryRoot root, std::wstring_view keyPath);
ValueVerdict JudgeValueChange(RegistryRoot root, std::string_view keyPath);
bool ProtectsValuesOf(RegistryRoot root, std::wstring_view keyPath);
bool ProtectsValuesOf(RegistryRoot root, std::string_view keyPath);

// True for a device class's filter list (UpperFilters or LowerFilters of a key right below
// Control\Class of any control set): inside a protected tree, yet the one value there that the
// run itself changes, taking a deleted filter service's name out of it; undo puts it back.
bool IsClassFilterList(RegistryRoot root, std::wstring_view keyPath, std::wstring_view valueName);

// A rename from or to the empty name would overwrite or delete the key's default value.
bool RenamesTheDefaultValue(std::string_view newName, std::string_view oldName);

// The lists as written, for docs/protected-places.md and the tests: "HKLM\...", "HKCU\...", "HKCR\..." or
// "HK*\..." (under both HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER).
std::span<const std::string_view> ProtectedRegistryTrees();
std::span<const std::string_view> SharedRegistryKeys();
std::span<const std::string_view> ProtectedValueKeys();  // keys whose own values are protected
std::span<const std::string_view> ShellFileTypeKeys();   // under HKCR, with ShellStructuralKeys below each
std::span<const std::string_view> ShellStructuralKeys();
// True for a key in one of Windows' own namespaces, where what may go by the lists goes only
// with the product's evidence on the machine.
bool InWindowsRegistryNamespace(RegistryRoot root, std::string_view keyPath);
// True for a place where products register keys (a key right below it is a registration), or
// one where they keep values of their own (each value its own item).
bool IsProductKeyPlace(RegistryRoot root, std::string_view keyPath);
bool IsProductValuePlace(RegistryRoot root, std::string_view keyPath);
// How many of the key path's names, as written, make up the registration the key belongs to:
// the key right below the deepest place where products register above it (or the key itself);
// 0 where no such place lies above.
std::size_t RegistrationNameCount(RegistryRoot root, std::string_view keyPath);

// Windows' own namespaces, where only the product places allow a deletion.
std::span<const std::string_view> WindowsRegistryNamespaces();
std::span<const ProductPlace> ProductRegistryPlaces();
