#include <windows.h>

#include "startup/own_folder.h"

#include "backup/backup_folders.h"
#include "engine/cleaner_state.h"
#include "platform/files/files_paths.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

OwnFolderVerdict JudgeOwnFolder(FolderSecurity& security, const std::string& programPath) {
  const std::string folder = FolderOfPath(programPath);
  const std::wstring wideFolder = WideFromAnsi(folder);
  if (!IsFullPath(wideFolder)) return {folder + ": it is not a full path", {}};
  if (!security.KeepsAccessLists(wideFolder)) return {{}, kOwnFolderNoAccessListsText + folder};
  std::size_t missing = 0;
  if (std::string problem = ExistingLevelsProblem(security, ExtendedPath(wideFolder), missing, true);
      !problem.empty()) {
    return {std::move(problem), {}};
  }
  const std::string files[] = {programPath, folder + "\\" + kRuleFileName, folder + "\\" + kSettingsFileName};
  for (const std::string& file : files) {
    const std::wstring path = ExtendedPath(WideFromAnsi(file));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    const std::string problem = UntrustedFolderReason(security.SecurityOf(path), security.Self(), true, true);
    if (!problem.empty()) return {file + ": " + problem, {}};
  }
  return {};
}
