#pragma once
// Which folders a folder tree deletion must never empty: drive roots, share roots, and
// every folder of a protected list together with every folder above one of them.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/guards/windows_places.h"
#include "platform/files/file_identity.h"

// Why a path is not a plain drive path, or empty when it is one. A plain drive path is a
// drive letter, ":", "\" and then names joined by single "\" (one trailing "\" allowed),
// each name one Windows keeps as written: no ".", "..", trailing dot or blank, no
// character a name cannot hold, no device name. NT and device prefixes ("\??\", "\\?\",
// "\\.\"), shares, relative and drive-relative paths and "/" are not plain: the program
// adds the extended prefix itself where it needs one.
std::string PlainPathProblem(std::wstring_view path);
// The same rules over bytes (ANSI text), each byte taken as one character.
std::string PlainPathProblem(std::string_view path);

// The comparison form of a Windows path: `/` read as `\`, doubled `\` collapsed, `.` and
// `..` resolved, trailing dots and blanks of each name dropped (Windows ignores them),
// trailing `\` removed, a to z upper-cased; the NT prefix "\??\" read as "\\?\". A drive
// root becomes "C:", a root of the current drive "\", a share root "\\SERVER\SHARE"; a
// relative path stays relative.
std::string NormalizedFolder(std::string_view path);

// True for a path that names a whole drive or share or no folder at all: empty, "C:",
// "C:\", a lone "\", "\\server", "\\server\share", device paths such as "\\.\X" that do
// not name a folder on a drive letter.
bool IsRootFolder(std::string_view path);

// True when the path is a root (above), one of the protected folders, or a folder above
// one of them. Case-insensitive, on the normalised forms.
bool IsProtectedFolder(std::string_view path, const std::vector<std::string>& protectedFolders);

// What a run guards: the comparison forms of the protected folders, and the identities
// (volume and file ID) of each of them and of every folder above one, which catch any other
// name for the same folder (a second drive letter, a link on the way, a short name).
struct ProtectedFolderSet {
  std::vector<std::string> folders;
  std::vector<FileIdentity> identities;
  // The normalised form of every folder and of every folder above one, made by IndexFolders:
  // a walk asks for each folder it opens, and the lists hold hundreds of forms.
  std::unordered_set<std::string> index{};
  // Where an item needs the product's evidence to go.
  WindowsPlaces places{};
};

// Fills the set's index from its folders.
void IndexFolders(ProtectedFolderSet& set);

// As IsProtectedFolder, through the index.
bool IsProtectedIndexed(std::string_view path, const ProtectedFolderSet& set);

bool IsProtectedIdentity(const FileIdentity& identity, const ProtectedFolderSet& set);
