#include <windows.h>

#include "engine/deletion.h"

#include "engine/cleaner_context.h"
#include "engine/effects.h"
#include "engine/folder_safety.h"
#include "platform/files.h"
#include "platform/text_rules.h"

namespace {

// The longest path the ANSI file calls accept (MAX_PATH less its NUL). Longer names are
// never handed to them, so nothing is ever done to a cut-off path outside the tree.
constexpr std::size_t kMaxAnsiPathLength = MAX_PATH - 1;
constexpr DWORD kPlainAttributes = FILE_ATTRIBUTE_ARCHIVE;

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

void ReportTreeEntry(CleanerContext& context, const std::string& fullName) {
  AddInfo(context, kTreeFileNotDeletedText + fullName);
}

// A junction or symbolic link: the link goes, what it points to is never touched.
void RemoveLink(CleanerContext& context, const std::string& fullName, DWORD attributes) {
  const bool removed = IsFolder(attributes) ? context.effects.RemoveEmptyFolder(fullName)
                                            : context.effects.RemoveFile(fullName);
  if (!removed) ReportTreeEntry(context, fullName);
}

void RemoveTreeFile(CleanerContext& context, const std::string& fullName, DWORD attributes) {
  if (attributes != kPlainAttributes) context.effects.SetAttributes(fullName, kPlainAttributes);
  if (!context.effects.RemoveFile(fullName)) ReportTreeEntry(context, fullName);
}

void DeleteTree(CleanerContext& context, const std::string& path) {
  const std::string pattern = (!path.empty() && path.back() == '\\') ? path + "*.*" : path + "\\*.*";
  if (pattern.size() > kMaxAnsiPathLength) {
    ReportTreeEntry(context, path);  // too deep for the ANSI calls: it cannot be emptied
    return;
  }
  const std::string parent = FolderOfPath(pattern);
  {
    FolderEnumeration entries(pattern);
    DirectoryEntry entry;
    while (entries.Next(entry)) {
      const std::string fullName = parent + "\\" + entry.name;
      if (IsFolder(entry.attributes) && (entry.name == "." || entry.name == "..")) continue;
      if (fullName.size() > kMaxAnsiPathLength) {
        ReportTreeEntry(context, fullName);
      } else if (IsLink(entry.attributes)) {
        RemoveLink(context, fullName, entry.attributes);
      } else if (IsFolder(entry.attributes)) {
        DeleteTree(context, fullName);
      } else {
        RemoveTreeFile(context, fullName, entry.attributes);
      }
    }
  }
  // A folder that still holds what could not be deleted stays; that was reported above.
  (void)context.effects.RemoveEmptyFolder(parent);
}

std::string WithoutTrailingBackslashes(std::string path) {
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

void DeleteFolderTree(CleanerContext& context, const std::string& path) {
  if (path.empty()) return;
  if (RefuseFolder(context, path)) return;
  const std::string top = WithoutTrailingBackslashes(path);
  const DWORD attributes = GetFileAttributesA(top.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsFolder(attributes) && IsLink(attributes)) {
    RemoveLink(context, top, attributes);
    return;
  }
  DeleteTree(context, path);
}

void DeleteSingleFile(CleanerContext& context, const std::string& path) {
  if (path.empty() || !IsExistingFile(path)) return;
  // A file link's attributes would be set on its target; the link itself needs none.
  if (!IsLink(GetFileAttributesA(path.c_str()))) context.effects.SetAttributes(path, kPlainAttributes);
  if (!context.effects.RemoveFile(path)) AddInfo(context, kFileNotDeletedText + path);
}
