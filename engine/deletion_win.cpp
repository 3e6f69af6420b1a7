#include <windows.h>

#include "engine/deletion.h"

#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "engine/folder_safety.h"
#include "platform/files.h"
#include "platform/handles.h"
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

// Whether the platform, asked not to follow links, opens the link itself: then removing
// the name removes the link. Wine opens a host symbolic link's target all the same, and
// removing the name there would remove or empty the target.
bool ReachesTheLinkItself(const std::string& name) {
  const UniqueFile handle(CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return handle && GetFileInformationByHandle(handle.Get(), &info) && IsLink(info.dwFileAttributes);
}

// A junction or symbolic link: the link goes, what it points to is never touched. A link
// that cannot be removed on its own stays and is listed.
bool RemoveLink(CleanerContext& context, const std::string& name, DWORD attributes) {
  if (!ReachesTheLinkItself(name)) return false;
  return IsFolder(attributes) ? context.effects.RemoveEmptyFolder(name) : context.effects.RemoveFile(name);
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
        if (!RemoveLink(context, fullName, entry.attributes)) ReportTreeEntry(context, fullName);
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
    if (!RemoveLink(context, top, attributes)) ReportTreeEntry(context, top);
    return;
  }
  DeleteTree(context, path);
}

void DeleteSingleFile(CleanerContext& context, const std::string& path) {
  if (path.empty() || !IsExistingFile(path)) return;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  bool removed = false;
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes)) {
    removed = RemoveLink(context, path, attributes);  // its attributes would be set on the target
  } else {
    context.effects.SetAttributes(path, kPlainAttributes);
    removed = context.effects.RemoveFile(path);
  }
  if (!removed) AddInfo(context, kFileNotDeletedText + path);
}
