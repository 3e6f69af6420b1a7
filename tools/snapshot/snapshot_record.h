#pragma once
// One line of a machine snapshot. A snapshot is a text file (UTF-8, LF line ends) of records
// in one fixed order, so that two snapshots compare by a single merge with memory for one
// record of each: the registry before the file system; within each, a key or folder, then
// its values or files by name, then its subkeys or subfolders by name, each subtree whole.
//
//   K <TAB> container                                         a key
//   V <TAB> container <TAB> name <TAB> type <TAB> size <TAB> hash <TAB> text    a value
//   D <TAB> container <TAB> attributes                        a folder
//   F <TAB> folder <TAB> name <TAB> size <TAB> attributes <TAB> created <TAB> written <TAB> content
//
// Names and containers are full ("HKEY_LOCAL_MACHINE\SOFTWARE\X", "C:\Program Files\X");
// a byte below 32 or "%" is written as "%" and two hex digits. `text` is the data of a
// short string value (for reports of changed data), else empty. Times are FILETIME counts.
// `content` says how the file's content is told apart (FileContentFacts below).
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

// The header names of the folders a snapshot records.
inline constexpr char kFolderWindows[] = "Windows";
inline constexpr char kFolderSystem[] = "System";
inline constexpr char kFolderProgramFiles[] = "ProgramFiles";        // ProgramFilesDir as the cleaner reads it
inline constexpr char kFolderCommonFiles[] = "CommonFiles";          // CommonFilesDir as the cleaner reads it
inline constexpr char kFolderOtherProgramFiles[] = "ProgramFilesOther";  // 64-bit Windows: the other view's
inline constexpr char kFolderOtherCommonFiles[] = "CommonFilesOther";
inline constexpr char kFolderProgramData[] = "ProgramData";
inline constexpr char kFolderProfile[] = "Profile";  // one per user profile
// Each profile's Roaming and Local application data folders, one of each per profile.
inline constexpr char kFolderRoaming[] = "Roaming";
inline constexpr char kFolderLocal[] = "Local";
// 64-bit Windows: the 32-bit System folder (SysWOW64); System is then the real System32.
inline constexpr char kFolderSystemWow64[] = "SystemWow64";
// The product's folders as the cleaner finds them on this machine, where it finds one: the
// shared folder (%Shared%) and the Start Menu folder its shortcut step removes.
inline constexpr char kFolderShared[] = "Shared";
inline constexpr char kFolderStartMenu[] = "StartMenu";

enum class RecordKind : char { Key = 'K', Value = 'V', Directory = 'D', File = 'F' };

struct SnapshotRecord {
  RecordKind kind = RecordKind::Key;
  std::string container;  // the key or folder; for a value or file, the one holding it
  std::string name;       // the value or file; empty for a key or folder
  std::string data;       // the fields after the name, as written (escaped)
};

// Registry records sort before file records; a key or folder before what it holds.
bool IsRegistryRecord(RecordKind kind);
bool IsContainerRecord(RecordKind kind);

// The order of the snapshot: container paths compared name by name (letters a to z in either
// case alike, then exactly), a container's own record and its leaves before its children.
std::strong_ordering CompareRecords(const SnapshotRecord& a, const SnapshotRecord& b);
// Two names (one level) in that order.
std::strong_ordering CompareNames(std::string_view a, std::string_view b);

// True when path is below folder (a name below, not just sharing its first letters), or the same.
bool IsWithin(std::string_view path, std::string_view folder);

std::string EscapeField(std::string_view text);
// Raises EConvertError for a "%" not followed by two hex digits.
std::string UnescapeField(std::string_view text);

// The line without its LF.
std::string FormatRecord(const SnapshotRecord& record);
// Raises EConvertError naming what is wrong with the line.
SnapshotRecord ParseRecord(std::string_view line);

// The fields of a value record's data.
struct ValueFacts {
  std::uint32_t type = 0;
  std::uint64_t size = 0;
  std::string hash;
  std::string text;  // unescaped
};
ValueFacts ParseValueFacts(std::string_view data);
std::string FormatValueFacts(const ValueFacts& facts);

// How a file record tells its content: the hash of what the file holds where it was read, and
// where the file system keeps them its file ID and change time (any write, in place or by
// replacing the file, changes one of them; an installer's kept write time does not hide it).
// Written as "HASH", "@ID.CHANGE", "HASH@ID.CHANGE", or "-" where neither was taken (a file
// above the size read whole, or one that could not be opened): size and times alone tell it.
struct FileContentFacts {
  std::string hash;
  std::string identity;  // "ID.CHANGE" in hex
};
std::string FormatFileContent(const FileContentFacts& facts);
FileContentFacts ParseFileContent(std::string_view field);

// Whether two records of the same thing say it is unchanged. Files: the same size, attributes
// and times, and the same content as far as both records tell it (the hashes where both read
// the file, else file ID and change time where both hold them); other records: the same data.
bool SameRecordData(const SnapshotRecord& a, const SnapshotRecord& b);

// FNV-1a, 64 bits, as 16 hex digits: a change of the data changes it with near certainty.
class DataHash {
 public:
  void Add(const void* bytes, std::size_t size);
  std::string Hex() const;

 private:
  std::uint64_t state_ = 0xcbf29ce484222325ULL;
};
