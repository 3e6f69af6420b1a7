#include <windows.h>
#include <shlobj.h>

#include "engine/rules/placeholder_folders_win.h"

#include "platform/files/system_mirror.h"
#include "platform/text/wide_text.h"

void ReadPlaceholderFolders(CleanerState& state) {
  wchar_t data[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data))) {
    state.ProgramDataFolder = AnsiFromWide(data);
  }
  // The current user's application data folders come first: a rule line naming them acts
  // there, and with every user's hive loaded in each other profile too.
  UserDataFolders own;
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data))) own.roaming = AnsiFromWide(data);
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data))) {
    own.local = AnsiFromWide(data);
  }
  state.UserFolders.assign(1, own);
  // The same 64-bit folders the run carries Program Files entries into: Common Files first,
  // then Program Files. Where only one differs from its 32-bit folder, which one it is cannot
  // be told, and both stay unknown.
  const SystemMirror mirror = CurrentSystemMirror();
  if (mirror.programFolders.size() != 2) return;
  state.CommonFiles64Folder = AnsiFromWide(mirror.programFolders[0].twin);
  state.ProgramFiles64Folder = AnsiFromWide(mirror.programFolders[1].twin);
}
