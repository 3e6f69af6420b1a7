#pragma once
// The journal of a backed-up run: one line per change, written ahead of the change, in the
// order of the changes. Undo reads it backwards. Lines are UTF-8; text fields are escaped so
// that any name (tabs, line breaks and backslashes included) survives a round trip.
//
// A line: entry number, kind, then the kind's fields, separated by tabs. The first line of a
// journal is kJournalHeader.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kJournalHeader[] = "Velmora Cleaner backup journal 3";
// A journal of the version before, whose files carry no identity; still read.
inline constexpr char kJournalHeaderWithoutIdentity[] = "Velmora Cleaner backup journal 2";
inline constexpr char kJournalFileName[] = "journal.txt";
inline constexpr char kRegistryExportFileName[] = "registry.reg";
// The folder of the run's backup copies of files, below the run's folder.
inline constexpr wchar_t kBackupFilesFolderName[] = L"files";

// A registry value as stored: name, type and bytes.
struct SavedValue {
  std::wstring name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const SavedValue&) const = default;
};

// The times of a file as FILETIME counts.
struct SavedTimes {
  std::uint64_t creation = 0;
  std::uint64_t lastAccess = 0;
  std::uint64_t lastWrite = 0;
  bool operator==(const SavedTimes&) const = default;
};

enum class JournalKind {
  Attributes,    // path, attributes before the run changed them
  File,          // path, copy, attributes, times, size, SHA-256, security, identity: the file was moved (or
                 // copied) to copy
  Folder,        // path, attributes, security: an empty folder was removed
  Link,          // path, copy: a junction or symbolic link was moved to copy as itself
  RestartFile,   // as File: a copy of a file left to the restart
  Key,           // path (the key's full name), hive, security, values: an empty key was deleted
  Value,         // path (key), hive, value: a value was deleted
  WrittenValue,  // path (key), hive, value: a value the run created (a rename's new name)
  Process,       // path (the program's name): a process was ended
  Service,       // path (the service's name): a service was stopped
  NotDone,       // number: the change of that entry was not carried out; path: the reason
  ServiceSettings,  // path (the service's name), value: its settings before the run changed
                    // them (unnamed, REG_BINARY, EncodeServiceSettings' bytes)
  KeySecurity,      // path (key), hive, security: the key's descriptor before the run took it over
};

struct JournalEntry {
  std::uint64_t number = 0;
  JournalKind kind = JournalKind::File;
  // Files and folders: the path in extended form (\\?\C:\...). Keys and values: the key's
  // full name under HKEY_LOCAL_MACHINE or HKEY_USERS as the registry itself names it
  // (64-bit view keys of a 32-bit program are named through Wow6432Node, so the name alone
  // says which key it is). Processes and services: the name.
  std::wstring path;
  std::wstring copy;  // relative to the run's folder
  std::uint32_t attributes = 0;
  SavedTimes times;
  std::uint64_t size = 0;  // File, RestartFile: the copy's size in bytes
  std::string sha256;      // and its SHA-256, 64 lowercase hex digits
  // File, RestartFile: the copy's file ID on its volume and its count of names when the run
  // made it (0: not known, as for a copy made on another volume or an older journal).
  std::uint64_t fileId = 0;
  std::uint32_t links = 0;
  // The security descriptor (owner, group and access list) in SDDL; empty where it could not
  // be read.
  std::wstring security;
  // Keys and values of another user's hive: the hive file the run loaded (path then names
  // the key below HKEY_USERS\<SID>); empty for a hive that is always loaded.
  std::wstring hive;
  std::vector<SavedValue> values;  // Key: every value; Value, WrittenValue: exactly one
  std::uint64_t notDone = 0;       // NotDone: the number of the entry not carried out
  bool operator==(const JournalEntry&) const = default;
};

// One line, without the line break.
std::string JournalLine(const JournalEntry& entry);

// The entry a line holds, or nothing with problem set (a line cut short by a killed run, an
// unknown kind, a field that does not parse).
// withIdentity: a line of a current journal; without, one of a journal that kept no identity.
std::optional<JournalEntry> ParseJournalLine(std::string_view line, std::string& problem, bool withIdentity = true);

struct Journal {
  std::vector<JournalEntry> entries;  // in the order written
  // Lines that did not parse, "line N: problem". Only the last line of a killed run may be
  // cut short; any other such line makes undo stop before it changes anything.
  std::vector<std::string> problems;
  bool lastLineCut = false;  // the last line did not end with a line break and did not parse
};

// The whole journal text; a text that does not start with kJournalHeader gives one problem.
Journal ParseJournal(std::string_view text);
