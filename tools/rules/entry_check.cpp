#include "tools/rules/entry_check.h"

#include <algorithm>
#include <optional>

#include "engine/cleaner_state.h"
#include "engine/guards/folder_guard.h"
#include "engine/guards/registrations.h"
#include "engine/guards/registry_safety.h"
#include "engine/guards/windows_files.h"
#include "engine/rules/registry_entry.h"
#include "engine/rules/rule_file.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

constexpr auto npos = std::string_view::npos;
constexpr char kWorksUnderCurrentUser[] = "the entry works under HKEY_CURRENT_USER";
constexpr char kOverlongName[] =
    "holds a key name longer than 255 characters, which no registry key can have: the cleaner refuses it";

// The folders of a usual installation, for judging entries as the cleaner would see them.
CleanerState UsualFolders() {
  CleanerState state;
  state.WindowsFolder = "C:\\WINDOWS";
  state.SystemFolder = "C:\\WINDOWS\\system32";
  state.ProgramFilesFolder = "C:\\Program Files";
  state.ProgramFolder = "C:\\Program Files\\Velmora Lab";
  state.SharedFolder = "C:\\Program Files\\Common Files\\ZDN Shared Files";
  state.ProgramDataFolder = "C:\\ProgramData";
  state.ProgramFiles64Folder = "C:\\Program Files";
  state.CommonFiles64Folder = "C:\\Program Files\\Common Files";
  state.UserFolders = {{"C:\\Users\\User\\AppData\\Roaming", "C:\\Users\\User\\AppData\\Local", ""}};
  return state;
}

// The system folders of that installation, which a folder tree deletion must never empty.
const std::vector<std::string>& UsualProtectedFolders() {
  static const std::vector<std::string> folders = {
      "C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\SysWOW64", "C:\\Program Files",
      "C:\\Program Files\\Common Files", "C:\\Program Files (x86)", "C:\\Program Files (x86)\\Common Files",
      "C:\\ProgramData", "C:\\Users\\User\\AppData\\Roaming", "C:\\Users\\User\\AppData\\Local",
      "C:\\Users\\Public\\Desktop", "C:\\Users\\Default", "C:\\Documents and Settings"};
  return folders;
}

// Only the three full root names select a root; anything else means HKEY_CURRENT_USER.
std::optional<std::string> RootNameProblem(std::string_view entry) {
  const auto slash = entry.find('\\');
  if (slash == npos) return std::nullopt;  // judged with the key path
  const std::string_view name = entry.substr(0, slash);
  if (EqualsIgnoringAsciiCase(name, RegistryRootName(RootOfEntry(entry)))) return std::nullopt;
  if (name.empty()) return "begins with \"\\\" and names no root: " + std::string(kWorksUnderCurrentUser);
  return "root name " + Quoted(name) +
         " is not recognised (only HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT are): " +
         kWorksUnderCurrentUser;
}

std::string KeyName(RegistryRoot root, std::string_view keyPath) {
  const auto start = keyPath.find_first_not_of('\\');
  std::string name(RegistryRootName(root));
  if (start != npos) name += "\\" + std::string(keyPath.substr(start));
  return name;
}

void CheckDeleteKey(std::string_view entry, std::vector<std::string>& out) {
  const DeleteKeyEntry parsed = ParseDeleteKeyEntry(entry);
  if (NamesNoKey(parsed.keyPath)) {
    out.push_back("names no key: the cleaner refuses it");
    return;
  }
  if (entry.find('\\') == npos) {
    out.push_back("has no \"\\\": it names the key " + Quoted(entry) + " right below HKEY_CURRENT_USER");
  } else if (auto problem = RootNameProblem(entry)) {
    out.push_back(*problem);
  }
  // A place where anti-virus products register inside Windows' trees: the machine decides.
  if (!HasOverlongKeyName(parsed.keyPath) && EvidenceNeededFor(parsed.root, parsed.keyPath) != Evidence::None) return;
  switch (JudgeKeyDeletion(parsed.root, parsed.keyPath)) {
    case KeyVerdict::SharedKey:
      out.push_back(Quoted(KeyName(parsed.root, parsed.keyPath)) +
                    " is a key Windows or other programs share: the cleaner refuses to delete it");
      break;
    case KeyVerdict::ProtectedTree:
      out.push_back(Quoted(KeyName(parsed.root, parsed.keyPath)) +
                    " lies in a registry tree Windows needs whole: the cleaner refuses to delete it");
      break;
    case KeyVerdict::StructuralKey:
      out.push_back(Quoted(KeyName(parsed.root, parsed.keyPath)) +
                    " is Windows' own key, not below a place where programs register (deny-by-default place): "
                    "the cleaner refuses to delete it");
      break;
    case KeyVerdict::OverlongName: out.push_back(kOverlongName); break;
    case KeyVerdict::Deletable: break;
  }
}

// The values of a key Windows reads its settings from.
std::optional<std::string> ProtectedValueProblem(RegistryRoot root, std::string_view keyPath, std::string_view value,
                                                 const char* doing) {
  // The firewall's rules lie in a tree Windows needs whole; each is one program's, and whether it
  // is the product's the machine decides when it is deleted.
  if (std::string_view(doing) == "delete" && KeepsProductValuesInWindowsTree(root, keyPath)) return std::nullopt;
  const std::string named = Quoted(KeyName(root, keyPath) + "=" + std::string(value));
  switch (JudgeValueChange(root, keyPath)) {
    case ValueVerdict::Changeable: return std::nullopt;
    case ValueVerdict::WindowsSetting: return named + " is a value Windows needs: the cleaner refuses to " + doing + " it";
    case ValueVerdict::OverlongName: return kOverlongName;
    case ValueVerdict::NotAProductPlace: break;
  }
  return named + " lies in Windows' own key, neither a place where programs keep values nor a program's key "
                 "(deny-by-default place): the cleaner refuses to " + doing + " it";
}

void CheckDeleteValue(std::string_view entry, std::vector<std::string>& out) {
  const auto equals = entry.find('=');
  if (equals == npos) {
    out.push_back("has no \"=\" and names no value: the whole line is taken as a value name of "
                  "HKEY_CURRENT_USER itself");
    return;
  }
  const DeleteValueEntry parsed = ParseDeleteValueEntry(entry);
  if (entry.find('\\') < equals) {
    if (auto problem = RootNameProblem(entry)) out.push_back(*problem);
  }
  if (auto problem = ProtectedValueProblem(parsed.root, parsed.keyPath, parsed.valueName, "delete")) {
    out.push_back(*problem);
  } else if (NamesNoKey(parsed.keyPath)) {
    out.push_back("names no key: the value " + Quoted(parsed.valueName) + " is deleted from " +
                  std::string(RegistryRootName(parsed.root)) + " itself");
  }
}

void CheckRenameValue(std::string_view entry, std::vector<std::string>& out) {
  const auto parsed = ParseRenameValueEntry(entry);
  if (!parsed) {
    out.push_back("names no new value name (the form is ROOT\\KEY\\NEW=OLD): the cleaner refuses it");
    return;
  }
  if (auto problem = RootNameProblem(entry)) out.push_back(*problem);
  if (EqualsIgnoringAsciiCase(parsed->newName, parsed->oldName)) {
    out.push_back("renames " + Quoted(parsed->oldName) + " to its own name: the cleaner refuses it");
  } else if (RenamesTheDefaultValue(parsed->newName, parsed->oldName)) {
    out.push_back("renames from or to the default value: the cleaner refuses it");
  } else if (auto problem = ProtectedValueProblem(parsed->root, parsed->keyPath, parsed->oldName, "rename")) {
    out.push_back(*problem);
  }
  if (NamesNoKey(parsed->keyPath)) {
    out.push_back("names no key: the value is renamed in " + std::string(RegistryRootName(parsed->root)) +
                  " itself");
  }
}

bool IsLonePlaceholder(std::string_view entry) {
  return std::any_of(kPlaceholders.begin(), kPlaceholders.end(),
                     [entry](const Placeholder& placeholder) { return entry == placeholder.name; });
}

void CheckPath(std::string_view entry, bool folder, bool placeholdersAsWritten, std::vector<std::string>& out) {
  if (!folder && (entry.ends_with('\\') || IsLonePlaceholder(entry))) {
    out.push_back(Quoted(entry) + " names a folder: a file entry passes over folders and deletes nothing");
    return;
  }
  static const CleanerState usual = UsualFolders();
  const std::string path = ExpandPlaceholders(entry, usual);
  // The cleaner's own rule: one written form only. A misspelt placeholder already explains
  // why the path is not a drive path.
  if (const std::string problem = PlainPathProblem(path); !problem.empty()) {
    if (placeholdersAsWritten) {
      out.push_back(Quoted(entry) + " is not a plain drive path (" + problem + "): the cleaner refuses it");
    }
    return;
  }
  const std::string normal = NormalizedFolder(path);
  const std::string parent = normal.substr(0, normal.find_last_of('\\'));
  if (!folder && parent.starts_with("C:\\WINDOWS") && IsSystemDataFileName(WideFromUtf8(normal.substr(parent.size() + 1)))) {
    out.push_back(Quoted(entry) + " is a system data file of Windows (Windows' own file): the cleaner refuses to delete it");
  }
  if (folder && (parent == "C:\\USERS" || parent == "C:\\DOCUMENTS AND SETTINGS")) {
    out.push_back(Quoted(entry) + " names a user's profile folder (profile): the cleaner refuses to delete it");
    return;
  }
  if (folder && IsProtectedFolder(path, UsualProtectedFolders())) {
    out.push_back(Quoted(entry) +
                  (IsRootFolder(path) ? " names a drive root"
                                      : " names a system folder (Windows, System, Program Files, Common Files, "
                                        "ProgramData, Users and their shell folders) or a folder above one") +
                  ": the cleaner refuses to delete it");
  }
}

}  // namespace

std::vector<std::string> CheckEntry(RuleSectionKind kind, std::string_view entry) {
  // A blank line inside a section is a separator: every action passes it over.
  if (entry.empty()) return {};
  // The Windows calls would read the name only up to the NUL.
  if (entry.find('\0') != std::string_view::npos) {
    return {"a NUL byte in the entry (stored as 226 or 0): the cleaner refuses it"};
  }
  std::vector<std::string> out = CheckPlaceholders(entry);
  const bool placeholdersAsWritten = out.empty();
  switch (kind) {
    case RuleSectionKind::RegistryDelete: CheckDeleteKey(entry, out); break;
    case RuleSectionKind::RegistryDeleteVal: CheckDeleteValue(entry, out); break;
    case RuleSectionKind::RegistryMoveVal: CheckRenameValue(entry, out); break;
    case RuleSectionKind::DeleteFolder: CheckPath(entry, true, placeholdersAsWritten, out); break;
    case RuleSectionKind::DeleteFile: CheckPath(entry, false, placeholdersAsWritten, out); break;
  }
  return out;
}
