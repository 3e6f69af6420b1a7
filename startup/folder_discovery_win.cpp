#include "startup/folder_discovery.h"

#include <windows.h>

#include <string>

#include "platform/files/files.h"
#include "platform/registry/registry_accessor.h"

namespace {

// A Program Files folder that could not be read gives no product folder: the names are not
// looked for in the root of the current drive.
std::string ProgramFolderUnder(const std::string& programFiles) {
  if (programFiles.empty()) return {};
  if (IsExistingFolder(programFiles + kVelmoraLab)) return programFiles + kVelmoraLab;
  if (IsExistingFolder(programFiles + kCorvantix)) return programFiles + kCorvantix;
  return programFiles + kVelmoraLab;
}

// Without a Programs folder there is no Start Menu folder: the names are not looked for in
// the root of the current drive, where a folder that happened to bear one would be taken
// for the product's and deleted with its links.
std::string StartMenuFolderUnder(const std::string& programs) {
  if (programs.empty()) return {};
  if (IsExistingFolder(programs + kVelmoraAntiVirus)) return programs + kVelmoraAntiVirus;
  if (IsExistingFolder(programs + kCorvantix)) return programs + kCorvantix;
  return {};
}

}  // namespace

void DiscoverFolders(CleanerContext& context) {
  CleanerState& state = context.state;
  std::string programFiles;
  std::string commonFiles;
  {
    RegistryAccessor machine(context.effects);
    machine.SelectRoot(HKEY_LOCAL_MACHINE);
    if (machine.OpenExistingKey(kCurrentVersionKey) && machine.HasValue("ProgramFilesDir")) {
      programFiles = machine.ReadStringValue("ProgramFilesDir");
      TraceIfOn(context, "ProgramFilesDir have been read");
    }
    // Asked of whatever key is open: the CurrentVersion key when it opened, else none.
    if (machine.HasValue("CommonFilesDir")) {
      commonFiles = machine.ReadStringValue("CommonFilesDir");
      TraceIfOn(context, "CommonFilesDir have been read");
    }
    machine.CloseCurrentKey();

    state.ProgramFilesFolder = programFiles;
    state.ProgramFolder = ProgramFolderUnder(programFiles);
    state.SharedFolder = commonFiles.empty()                                  ? std::string()
                         : IsExistingFolder(commonFiles + kZdnSharedFiles) ? commonFiles + kZdnSharedFiles
                                                                           : commonFiles + kVelmoraLab;
    if (machine.OpenExistingKey(kSharedFilesKey)) {
      if (machine.HasValue("Folder")) {
        state.SharedFolder = machine.ReadStringValue("Folder");
        TraceIfOn(context, "SharedFiles have been read");
      } else if (!commonFiles.empty() && IsExistingFolder(commonFiles + kQrvSharedFiles)) {
        state.SharedFolder = commonFiles + kQrvSharedFiles;
      }
    }
    if (machine.OpenExistingKey(kShellFoldersKey) && machine.HasValue("Common Programs")) {
      state.StartMenuFolder = machine.ReadStringValue("Common Programs");
      TraceIfOn(context, "Common Programs have been read");
    }
    machine.CloseCurrentKey();
  }
  if (state.StartMenuFolder.empty()) {
    RegistryAccessor user(context.effects);
    user.SelectRoot(HKEY_CURRENT_USER);
    if (user.OpenExistingKey(kShellFoldersKey) && user.HasValue("Programs")) {
      state.StartMenuFolder = user.ReadStringValue("Programs");
      TraceIfOn(context, "Programs have been read");
    }
    user.CloseCurrentKey();
  }
  state.StartMenuFolder = StartMenuFolderUnder(state.StartMenuFolder);
  if (!state.FolderStart.empty()) state.StartMenuFolder = state.FolderStart;
}
