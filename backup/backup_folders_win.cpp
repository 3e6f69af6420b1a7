#include <windows.h>

#include "backup/backup_folders.h"

#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"

namespace {

constexpr wchar_t kExtendedPrefix[] = LR"(\\?\)";
constexpr std::size_t kDriveRootLength = 7;  // the length of a drive root in extended form

// Not a folder, a link, or a folder someone else may change (selfTrusted: this run made it, or
// it is the program's own, so the account the program runs as counts as an administrator). A
// drive's root is no link, whatever reparse mark the file system gives it.
std::string FolderProblem(FolderSecurity& security, const std::wstring& level, bool strict, bool selfTrusted) {
  const DWORD attributes = GetFileAttributesW(level.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "it cannot be opened";
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && level.size() > kDriveRootLength) return "it is a link";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "it is not a folder";
  return UntrustedFolderReason(security.SecurityOf(level), security.Self(), selfTrusted || !security.KeepsOwners(),
                               strict);
}

std::string Named(const std::wstring& level, const std::string& problem) {
  return AnsiFromWide(level.substr(4)) + ": " + problem;
}

}  // namespace

std::wstring FolderSecurity::SecurityOf(const std::wstring& path) { return FileSecurityText(path); }

bool FolderSecurity::KeepsOwners() { return SystemKeepsOwners(); }

std::wstring FolderSecurity::Self() {
  static const std::wstring self = ProcessUserSid();
  return self;
}

bool FolderSecurity::KeepsAccessLists(const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1] = {};
  DWORD flags = 0;
  if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)) return true;
  if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return true;
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

FolderSecurity& SystemFolderSecurity() {
  static FolderSecurity security;
  return security;
}

std::vector<std::wstring> FolderLevels(const std::wstring& folder) {
  std::vector<std::wstring> levels;
  if (folder.size() < kDriveRootLength - 1 || folder.rfind(kExtendedPrefix, 0) != 0 || folder[5] != L':') return levels;
  levels.push_back(folder.substr(0, 6) + L"\\");
  for (std::size_t cut = folder.find(L'\\', kDriveRootLength); ; cut = folder.find(L'\\', cut + 1)) {
    const std::wstring level = folder.substr(0, cut);
    if (level.size() >= kDriveRootLength && level != levels.back()) levels.push_back(level);
    if (cut == std::wstring::npos) break;
  }
  return levels;
}

std::string ExistingLevelsProblem(FolderSecurity& security, const std::wstring& folder, std::size_t& missing,
                                  bool selfTrusted) {
  const std::vector<std::wstring> levels = FolderLevels(folder);
  if (levels.empty()) return "it is not a full drive path";
  for (missing = 0; missing < levels.size(); ++missing) {
    const std::wstring& level = levels[missing];
    if (GetFileAttributesW(level.c_str()) == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    }
    const std::string problem = FolderProblem(security, level, missing + 1 == levels.size(), selfTrusted);
    if (!problem.empty()) return Named(level, problem);
  }
  return {};
}

DWORD MakePrivateFolder(FolderSecurity& security, const std::wstring& folder, std::string& problem) {
  std::size_t missing = 0;
  problem = ExistingLevelsProblem(security, folder, missing);
  if (!problem.empty()) return ERROR_ACCESS_DENIED;
  const std::vector<std::wstring> levels = FolderLevels(folder);
  for (std::size_t index = missing; index < levels.size(); ++index) {
    const DWORD made = CreateFolderWithSecurity(levels[index], kPrivateFolderSecurity);
    // Made by someone else meanwhile: used only if it passes as an existing level would.
    const bool strict = made == ERROR_ALREADY_EXISTS || index + 1 == levels.size();
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return made;
    const std::string levelProblem = FolderProblem(security, levels[index], strict, made == ERROR_SUCCESS);
    if (!levelProblem.empty()) {
      problem = Named(levels[index], levelProblem);
      return ERROR_ACCESS_DENIED;
    }
  }
  return ERROR_SUCCESS;
}

// The attributes the system gives for the name itself: a link is never followed for them.
bool IsLinkItself(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
