#include <windows.h>

#include "backup/undo_steps.h"

#include "backup/backup_folders.h"
#include "backup/backup_key_names.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/folder_safety.h"
#include "engine/guards/registry_safety.h"
#include "platform/files/files_paths.h"
#include "platform/text/wide_text.h"

namespace {

constexpr wchar_t kClassesSuffix[] = L"_Classes";

// Files and folders: a plain drive path (in ordinary or extended form, as the run named it);
// a folder (or a folder's attributes) nothing the run would have refused to delete. The
// folder guard reads the rule file's ANSI form; a name that form cannot hold is judged by its
// UTF-8 form against the protected folders.
std::string PathProblem(CleanerContext& context, const JournalEntry& entry) {
  const std::wstring ordinary = OrdinaryPath(entry.path);
  if (std::string problem = PlainPathProblem(ordinary); !problem.empty()) return problem;
  if (entry.kind != JournalKind::Folder && entry.kind != JournalKind::Attributes) return {};
  const std::string ansi = AnsiFromWide(ordinary);
  const bool refused = WideFromAnsi(ansi) == ordinary
                           ? IsRefusedFolder(context, ansi)
                           : IsProtectedFolder(Utf8FromWide(ordinary), ProtectedFolders(context).folders);
  return refused ? "a protected folder" : std::string();
}

// The root and key path the run's registry guards judge: the user's classes hive as
// HKEY_CLASSES_ROOT, any other user's hive as HKEY_CURRENT_USER.
bool GuardedPlace(const std::wstring& name, RegistryRoot& root, std::wstring& keyPath) {
  const BackupKeyPlace place = PlaceOfBackupKey(name);
  if (place.root == BackupKeyRoot::LocalMachine) {
    root = RegistryRoot::LocalMachine;
    keyPath = place.subKey;
    return true;
  }
  if (place.root != BackupKeyRoot::Users) return false;
  const std::size_t cut = place.subKey.find(L'\\');
  const std::wstring hive = place.subKey.substr(0, cut);
  if (hive.rfind(L"S-1-", 0) != 0) return false;  // a temporary name, .DEFAULT, anything else
  root = hive.ends_with(kClassesSuffix) ? RegistryRoot::ClassesRoot : RegistryRoot::CurrentUser;
  keyPath = cut == std::wstring::npos ? std::wstring() : place.subKey.substr(cut + 1);
  return true;
}

std::string KeyProblem(const JournalEntry& entry) {
  RegistryRoot root = RegistryRoot::LocalMachine;
  std::wstring keyPath;
  if (!GuardedPlace(entry.path, root, keyPath)) return "not a key the backup names";
  if (entry.kind == JournalKind::Key) {
    if (NamesNoKey(AnsiFromWide(keyPath))) return "it names a whole hive";
    switch (JudgeKeyDeletion(root, std::wstring_view(keyPath))) {
      case KeyVerdict::Deletable: break;
      case KeyVerdict::SharedKey: return "a key Windows or other programs share";
      case KeyVerdict::ProtectedTree: return "a key inside a protected tree";
      case KeyVerdict::StructuralKey: return "a key of Windows' own places where products do not register";
      case KeyVerdict::OverlongName: return "a key name longer than the registry allows";
    }
    return {};
  }
  const bool filterList = entry.values.size() == 1 && IsClassFilterList(root, keyPath, entry.values[0].name);
  if (!filterList && ProtectsValuesOf(root, std::wstring_view(keyPath))) return "a key whose values are protected";
  return {};
}

}  // namespace

std::string GuardProblem(CleanerContext& context, const JournalEntry& entry) {
  switch (entry.kind) {
    case JournalKind::Attributes:
    case JournalKind::File:
    case JournalKind::Link:
    case JournalKind::RestartFile:
    case JournalKind::Folder: return PathProblem(context, entry);
    case JournalKind::Key:
    case JournalKind::Value:
    case JournalKind::WrittenValue:
    case JournalKind::KeySecurity: return KeyProblem(entry);
    case JournalKind::Process:
    case JournalKind::Service:
    case JournalKind::ServiceSettings:  // put back only where the run's settings still stand
    case JournalKind::NotDone: return {};
  }
  return "an unknown kind of entry";
}

std::string CopyProblem(const std::wstring& runFolder, const JournalEntry& entry) {
  const std::wstring files = ExtendedPath(runFolder + L"\\" + kBackupFilesFolderName);
  const std::wstring copy = ExtendedPath(runFolder + L"\\" + entry.copy);
  if (!IsBelowFolder(copy, files)) return "its copy does not lie below the files folder of the run";
  // files\ itself and every folder below it down to the copy, each opened as itself.
  for (std::size_t cut = files.size(); cut != std::wstring::npos; cut = copy.find(L'\\', cut + 1)) {
    if (IsLinkItself(copy.substr(0, cut))) return "a link stands on the way to its copy";
  }
  return {};
}
