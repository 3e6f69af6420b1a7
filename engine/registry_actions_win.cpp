#include <windows.h>

#include "engine/registry_actions.h"

#include "engine/cleaner_context.h"
#include "engine/registry_entry.h"
#include "engine/registry_safety.h"
#include "platform/registry_accessor.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

std::wstring Widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// Value names are compared without regard to case by the registry, beyond a to z too, so
// "abc" and "ABC" name one value: renaming one to the other would delete it.
bool NameTheSameValue(const std::string& a, const std::string& b) {
  std::wstring wideA = Widen(a);
  std::wstring wideB = Widen(b);
  if (!wideA.empty()) CharUpperBuffW(wideA.data(), static_cast<DWORD>(wideA.size()));
  if (!wideB.empty()) CharUpperBuffW(wideB.data(), static_cast<DWORD>(wideB.size()));
  return wideA == wideB;
}

std::string KeyName(RegistryRoot root, const std::string& keyPath) {
  const auto start = keyPath.find_first_not_of('\\');
  std::string name(RegistryRootName(root));
  if (start != std::string::npos) name += "\\" + keyPath.substr(start);
  return name;
}

}  // namespace

void DeleteRegistryKeyEntry(CleanerContext& context, const std::string& line) {
  // A blank line inside a section is a separator, not a rule: nothing to do or report.
  if (line.empty()) return;
  const DeleteKeyEntry entry = ParseDeleteKeyEntry(line);
  if (NamesNoKey(entry.keyPath)) {
    AddInfo(context, kRefusedNoKey + line);
    return;
  }
  if (IsSharedRegistryKey(entry.root, entry.keyPath)) {
    AddInfo(context, kRefusedSharedKey + KeyName(entry.root, entry.keyPath));
    return;
  }
  RegistryAccessor accessor(context.effects);
  accessor.SelectRoot(RootKey(entry.root));
  (void)accessor.DeleteKeyTree(entry.keyPath);
  accessor.CloseCurrentKey();
}

void DeleteRegistryValueEntry(CleanerContext& context, const std::string& line) {
  // A blank line would name the default value of the HKEY_CURRENT_USER root key; it is a
  // separator, so it is passed over without a report.
  if (line.empty()) return;
  const DeleteValueEntry entry = ParseDeleteValueEntry(line);
  RegistryAccessor accessor(context.effects);
  accessor.SelectRoot(RootKey(entry.root));
  if (accessor.OpenExistingKey(entry.keyPath)) (void)accessor.RemoveValue(entry.valueName);
  accessor.CloseCurrentKey();
}

void RenameRegistryValueEntry(CleanerContext& context, const std::string& line) {
  if (line.empty()) return;
  const auto entry = ParseRenameValueEntry(line);
  if (!entry) {
    AddInfo(context, kRefusedNoNewName + line);
    return;
  }
  // Writing the value and then deleting the old name would lose it.
  if (NameTheSameValue(entry->newName, entry->oldName)) {
    AddInfo(context, kRefusedSameName + line);
    return;
  }
  RegistryAccessor accessor(context.effects);
  accessor.SelectRoot(RootKey(entry->root));
  if (accessor.OpenExistingKey(entry->keyPath) && accessor.HasValue(entry->oldName)) {
    const std::string text = accessor.ReadStringValue(entry->oldName);
    accessor.WriteStringValue(entry->newName, text);
    (void)accessor.RemoveValue(entry->oldName);
  }
  accessor.CloseCurrentKey();
}
