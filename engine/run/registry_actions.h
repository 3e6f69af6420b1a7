#pragma once
// The actions of the three registry sections of the rule file. Each takes one rule line
// (ANSI text, turned into UTF-16 once at the start), works through its own registry accessor
// and reports nothing to its caller; refused entries (the guards of registry_safety.h), and
// every key or value that exists and stays, go to the information list with the system's
// reason.
#include <string>

struct CleanerContext;

// [Registry_Delete]: deletes the key with everything below it.
void DeleteRegistryKeyEntry(CleanerContext& context, const std::string& line);
// [Registry_Delete_Val]: deletes one value.
void DeleteRegistryValueEntry(CleanerContext& context, const std::string& line);
// [Registry_Move_Val]: moves a value, type and bytes as stored, to a new name within its key;
// never onto a name that exists, nor from or to the default value.
void RenameRegistryValueEntry(CleanerContext& context, const std::string& line);

// The fixed texts of refused entries, each followed by the entry or the key it names.
inline constexpr char kRefusedSharedKey[] = "Refused to delete shared registry key ";
inline constexpr char kRefusedProtectedTree[] = "Refused to delete key in protected registry tree ";
// In Windows' own namespaces: a key not below a place where programs register, and a value
// neither in a place where programs keep values nor in a program's key.
inline constexpr char kRefusedWindowsKey[] = "Refused to delete Windows' own registry key ";
inline constexpr char kRefusedWindowsValue[] = "Refused to change value in Windows' own registry key ";  // key\name
inline constexpr char kRefusedProtectedValue[] = "Refused to delete protected registry value ";
inline constexpr char kRefusedProtectedRename[] = "Refused to rename protected registry value ";  // as below
inline constexpr char kRefusedExistingName[] = "Refused registry rename onto an existing value: ";  // as below
inline constexpr char kRefusedDefaultRename[] = "Refused registry rename from or to the default value: ";
inline constexpr char kRefusedNoKey[] = "Refused registry entry that names no key: ";
inline constexpr char kRefusedNoNewName[] = "Refused registry rename without a new name: ";
inline constexpr char kRefusedSameName[] = "Refused registry rename to the same name: ";
inline constexpr char kRefusedOverlongName[] = "Refused registry entry with a key name longer than 255 characters: ";
// What stayed, each followed by its full name, ": " and the system's reason.
inline constexpr char kKeyNotDeletedText[] = "Could NOT delete key ";
inline constexpr char kValueNotDeletedText[] = "Could NOT delete value ";
inline constexpr char kValueNotRenamedText[] = "Could NOT rename value ";  // name, " to ", new name
