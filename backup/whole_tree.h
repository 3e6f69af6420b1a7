#pragma once
// A folder tree read whole before it goes into the backup with one rename of its top: each
// file and folder with what the journal keeps of it, children before their folder. Only a
// tree whose every entry is free is read to its end.
#include <windows.h>

#include <string>
#include <vector>

#include "backup/backup_reads.h"
#include "platform/files/file_identity.h"

struct TreeItem {
  std::wstring relative;  // below the top, names joined by "\"; empty for the top itself
  bool folder = false;
  KeptFile kept;  // a file's with its size and SHA-256, a folder's without
};

// Reads the tree open as `top` (a folder opened as itself, with READ_CONTROL and listing
// access). Answers empty with every item in `items`, or why the tree is not free: a link or
// any other reparse point, a file with more than one name, a file open elsewhere for writing
// or without sharing deletion, a file or folder that cannot be opened or listed, one that is
// not the entry listed, a name that would lead out of its folder, a folder in `avoid` (the
// backup's own), more than `limit` entries (the journal's lines of a tree are held and written
// at once). Every handle it opened is closed when it answers.
inline constexpr std::size_t kWholeTreeLimit = 100000;
std::string ReadFreeTree(HANDLE top, const std::vector<FileIdentity>& avoid, std::vector<TreeItem>& items,
                         std::size_t limit = kWholeTreeLimit);

// After the tree open as `top` was renamed whole: what lies in it now that `read` (what
// ReadFreeTree answered before the rename) does not hold, each read as the journal keeps it
// (children before their folder; a link as itself, a folder that replaced one read counts as
// arrived), and the indexes in `read` of what is no longer there. Something can come in
// between the read and the rename: a folder's share mode does not stop files being created
// in it. Answers empty, or why the tree could not be read again.
std::string ReadArrivals(HANDLE top, const std::vector<TreeItem>& read, std::vector<TreeItem>& arrived,
                         std::vector<std::size_t>& gone);
