#include <windows.h>

#include "engine/run/registry_actions.h"

#include <vector>

#include "engine/cleaner_context.h"
#include "engine/guards/registry_evidence_win.h"
#include "engine/guards/registrations_win.h"
#include "engine/guards/registry_safety.h"
#include "engine/run/filter_lists_win.h"
#include "engine/run/registry_places_win.h"
#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/registry/registry_accessor.h"
#include "platform/system_error.h"
#include "platform/text/wide_text.h"

namespace {

// Value names are compared without regard to case by the registry, beyond a to z too, so
// "abc" and "ABC" name one value: renaming one to the other would delete it.
std::wstring Upper(std::wstring name) {
  if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}
bool NameTheSameValue(const std::wstring& a, const std::wstring& b) { return Upper(a) == Upper(b); }

// A missing key or value is no failure.
bool Stayed(LONG code) { return code != ERROR_SUCCESS && !IsNotFound(code); }

// "<text><what>: error 5: Access is denied".
// A change the backup refused is listed by the backup already.
void ReportStayed(CleanerContext& context, const char* text, const std::string& what, LONG code) {
  if (static_cast<DWORD>(code) == kBackupRefusedCode) return;
  AddInfo(context, text + what + ": " + SystemErrorText(static_cast<unsigned long>(code)));
}

// A value of a key Windows reads, or of one of Windows' own keys, is listed and left.
bool RefuseValueChange(CleanerContext& context, const RegistryPlace& place, const std::string& what,
                       const char* protectedText) {
  switch (JudgeValueChange(place.root, place.keyPath)) {
    case ValueVerdict::Changeable: return false;
    case ValueVerdict::WindowsSetting: AddInfo(context, protectedText + PlaceKeyName(place) + "\\" + what); break;
    case ValueVerdict::NotAProductPlace: AddInfo(context, kRefusedWindowsValue + PlaceKeyName(place) + "\\" + what); break;
    case ValueVerdict::OverlongName: AddInfo(context, kRefusedOverlongName + PlaceKeyName(place)); break;
  }
  return true;
}

// A key name longer than the registry allows names no key in any view or hive: the line is
// refused once, as written, rather than passed over as a key already gone.
bool RefuseOverlongName(CleanerContext& context, const std::string& keyPath, const std::string& line) {
  if (!HasOverlongKeyName(keyPath)) return false;
  AddInfo(context, kRefusedOverlongName + line);
  return true;
}

// The place's key opened for reading, in its view; empty when it cannot be.
UniqueHKey OpenForReading(const RegistryPlace& place, RegistryAccessor& accessor) {
  HKEY opened = nullptr;
  UniqueHKey key;
  const REGSAM view = place.view64 ? KEY_WOW64_64KEY : 0;
  if (RegOpenKeyExW(accessor.Root(), WideFromAnsi(AccessPath(place)).c_str(), 0, KEY_READ | view, &opened) ==
      ERROR_SUCCESS) {
    key.Reset(opened);
  }
  return key;
}

std::wstring LastKeyName(const std::string& keyPath) {
  const std::string trimmed = keyPath.substr(0, keyPath.find_last_not_of('\\') + 1);
  return WideFromAnsi(trimmed.substr(trimmed.find_last_of('\\') + 1));
}

// A service, COM class or App Paths entry naming an existing file that is not the product's
// (svchost's library elsewhere, a driver in System32\drivers, shell32.dll) is another
// program's registration: refused with a line naming the file. Its subkeys and values
// (InprocServer32, Parameters, ImagePath) are judged as the registration whole: without them
// it would name no file and go too. value: the value the entry changes, empty for the key.
bool RefuseForeignRegistration(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor,
                               const std::string& value = {}) {
  const RegistrationKey registration = RegistrationContaining(place.root, place.keyPath);
  if (registration.kind == RegistrationKind::None) return false;
  RegistryPlace whole = place;
  whole.keyPath = registration.keyPath;
  const UniqueHKey key = OpenForReading(whole, accessor);
  if (!key) return false;
  const std::wstring file = ForeignFileOfRegistration(context, registration.kind, key.Get(),
                                                      LastKeyName(registration.keyPath), place.view64);
  if (file.empty()) return false;
  AddInfo(context, kRefusedForeignRegistration + PlaceKeyName(place) + (value.empty() ? "" : "\\" + value) + " names " +
                       AnsiFromWide(file));
  return true;
}

// A Run value that starts another program's existing file is that program's: not deleted. A
// rename is not judged so: it names back the value the product renamed aside, which always
// starts that other program, and it neither loses nor overwrites anything.
bool RefuseForeignRunValue(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor,
                           const std::string& valueName) {
  if (!StartsProgramsFromValues(place.root, place.keyPath)) return false;
  const UniqueHKey key = OpenForReading(place, accessor);
  if (!key) return false;
  const std::wstring name = WideFromAnsi(valueName);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  std::wstring command(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(command.data()), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  command.resize(command.find(L'\0'));
  const std::wstring file = ForeignFileOfCommand(context, command, place.view64);
  if (file.empty()) return false;
  AddInfo(context, kRefusedForeignRegistration + PlaceKeyName(place) + "\\" + valueName + " names " + AnsiFromWide(file));
  return true;
}

// "SYSTEM\ControlSet001" of "\SYSTEM\\ControlSet001\Services\X".
std::string ControlSetOf(const std::string& keyPath) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= keyPath.size() && names.size() < 2;) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string::npos) end = keyPath.size();
    if (end > start) names.push_back(keyPath.substr(start, end - start));
    start = end + 1;
  }
  return names.size() == 2 ? names[0] + "\\" + names[1] : std::string();
}

// A service that is there leaves the device classes' filter lists before its key goes; where
// a list cannot be changed, the service stays (false), as a class naming a missing filter
// stops its devices.
bool TakeOutOfFilterLists(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor) {
  if (RegistrationOf(place.root, place.keyPath) != RegistrationKind::Service || !place.hive.empty()) return true;
  if (!OpenForReading(place, accessor)) return true;  // nothing to delete
  return RemoveFromFilterLists(context, ControlSetOf(place.keyPath), LastKeyName(place.keyPath));
}

// In a place where anti-virus products register inside Windows' own trees, a key that is there
// goes only where the machine shows it is the product's; one that is not there is passed over.
bool RefuseWithoutEvidence(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor,
                           Evidence evidence) {
  const UniqueHKey key = OpenForReading(place, accessor);
  if (!key) return true;
  if (HasProductEvidence(context, evidence, key.Get(), LastKeyName(place.keyPath), place.view64)) return false;
  AddInfo(context, kRefusedWithoutEvidence + PlaceKeyName(place) + " - " + std::string(MissingEvidenceText(evidence)));
  return true;
}

// In Windows' own namespaces what the lists let go goes only with the product's evidence on the
// machine: the registration the key or value belongs to, judged whole, or the value itself
// where products keep values. True when refused; what is not there is passed over.
// remember: set to the item's name when the machine's evidence showed it is the product's.
bool RefuseWithoutItemEvidence(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor,
                               const EvidenceItem& item, const std::string& value, std::wstring& remember) {
  if (item.kind == EvidenceItemKind::None) return false;
  const UniqueHKey entryKey = OpenForReading(place, accessor);
  if (!entryKey) return false;
  ProductEvidence evidence = ProductEvidence::None;
  std::wstring name;
  if (item.kind == EvidenceItemKind::Value) {
    name = WideFromAnsi(value);
    if (RegQueryValueExW(entryKey.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return false;
    evidence = ValueEvidence(context, entryKey.Get(), name, place.view64);
  } else {
    RegistryPlace whole = place;
    whole.keyPath = item.keyPath;
    const UniqueHKey key = OpenForReading(whole, accessor);
    if (!key) return false;
    name = LastKeyName(item.keyPath);
    evidence = KeyEvidence(context, key.Get(), place.root, item.keyPath, item.namedExactly, place.view64);
  }
  if (evidence == ProductEvidence::ByMachine && (item.kind == EvidenceItemKind::Value || item.namedExactly)) remember = name;
  if (evidence != ProductEvidence::None) return false;
  AddInfo(context, (value.empty() && item.kind == EvidenceItemKind::Key ? kRefusedWithoutEvidence + PlaceKeyName(place)
                                                                          : kRefusedValueWithoutEvidence + PlaceKeyName(place) +
                                                                                "\\" + value) +
                       " - " + kNoProductEvidenceText);
  return true;
}

void DeleteTree(CleanerContext& context, const RegistryPlace& place, RegistryAccessor& accessor) {
  const TreeDeletion deletion = accessor.DeleteKeyTree(WideFromAnsi(AccessPath(place)));
  for (const RegistryFailure& failure : deletion.stayed) {
    ReportStayed(context, kKeyNotDeletedText, AnsiFromWide(failure.name), failure.code);
  }
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
  if (RefuseOverlongName(context, entry.keyPath, line)) return;
  ForEachPlace(context, entry.root, entry.keyPath, [&](const RegistryPlace& place, RegistryAccessor& accessor) {
    if (const Evidence evidence = EvidenceNeededFor(place.root, place.keyPath); evidence != Evidence::None) {
      if (!RefuseWithoutEvidence(context, place, accessor, evidence)) DeleteTree(context, place, accessor);
      return;
    }
    switch (JudgeKeyDeletion(place.root, place.keyPath)) {
      case KeyVerdict::SharedKey: AddInfo(context, kRefusedSharedKey + PlaceKeyName(place)); return;
      case KeyVerdict::ProtectedTree: AddInfo(context, kRefusedProtectedTree + PlaceKeyName(place)); return;
      case KeyVerdict::StructuralKey: AddInfo(context, kRefusedWindowsKey + PlaceKeyName(place)); return;
      case KeyVerdict::OverlongName: AddInfo(context, kRefusedOverlongName + PlaceKeyName(place)); return;
      case KeyVerdict::Deletable: break;
    }
    if (RefuseForeignRegistration(context, place, accessor)) return;
    std::wstring remember;
    if (RefuseWithoutItemEvidence(context, place, accessor, EvidenceItemOfKey(place.root, place.keyPath), {}, remember)) {
      return;
    }
    if (!TakeOutOfFilterLists(context, place, accessor)) return;
    DeleteTree(context, place, accessor);
    RememberProductItem(context, remember);
  });
}

void DeleteRegistryValueEntry(CleanerContext& context, const std::string& line) {
  // A blank line would name the default value of the HKEY_CURRENT_USER root key; it is a
  // separator, so it is passed over without a report.
  if (line.empty()) return;
  const DeleteValueEntry entry = ParseDeleteValueEntry(line);
  if (RefuseOverlongName(context, entry.keyPath, line)) return;
  ForEachPlace(context, entry.root, entry.keyPath, [&](const RegistryPlace& place, RegistryAccessor& accessor) {
    // The firewall's rules lie in a tree Windows needs whole, yet each is one program's value.
    if (!KeepsProductValuesInWindowsTree(place.root, place.keyPath) &&
        RefuseValueChange(context, place, entry.valueName, kRefusedProtectedValue)) {
      return;
    }
    if (RefuseForeignRunValue(context, place, accessor, entry.valueName)) return;
    if (RefuseForeignRegistration(context, place, accessor, entry.valueName)) return;
    std::wstring remember;
    if (RefuseWithoutItemEvidence(context, place, accessor, EvidenceItemOfValue(place.root, place.keyPath),
                                  entry.valueName, remember)) {
      return;
    }
    // An open refused for want of rights is a value that stays, not a key that is absent. A
    // value already gone is not asked to be deleted: the request would count as a failed change.
    const std::wstring valueName = WideFromAnsi(entry.valueName);
    LONG code = accessor.OpenExistingKey(WideFromAnsi(AccessPath(place)), KeyAccess::ChangeValues);
    if (code == ERROR_SUCCESS && accessor.HasValue(valueName)) {
      code = accessor.RemoveValue(valueName);
      if (code == ERROR_SUCCESS) RememberProductItem(context, remember);
    }
    if (Stayed(code)) ReportStayed(context, kValueNotDeletedText, PlaceKeyName(place) + "\\" + entry.valueName, code);
  });
}

void RenameRegistryValueEntry(CleanerContext& context, const std::string& line) {
  if (line.empty()) return;
  const auto entry = ParseRenameValueEntry(line);
  if (!entry) {
    AddInfo(context, kRefusedNoNewName + line);
    return;
  }
  if (RefuseOverlongName(context, entry->keyPath, line)) return;
  const std::wstring newName = WideFromAnsi(entry->newName);
  const std::wstring oldName = WideFromAnsi(entry->oldName);
  // Writing the value and then deleting the old name would lose it.
  if (NameTheSameValue(newName, oldName)) {
    AddInfo(context, kRefusedSameName + line);
    return;
  }
  if (RenamesTheDefaultValue(entry->newName, entry->oldName)) {
    AddInfo(context, kRefusedDefaultRename + line);
    return;
  }
  ForEachPlace(context, entry->root, entry->keyPath, [&](const RegistryPlace& place, RegistryAccessor& accessor) {
    const std::string renaming = PlaceKeyName(place) + "\\" + entry->oldName + " to " + entry->newName;
    if (RefuseValueChange(context, place, entry->oldName + " to " + entry->newName, kRefusedProtectedRename)) return;
    LONG code = accessor.OpenExistingKey(WideFromAnsi(AccessPath(place)), KeyAccess::ChangeValues);
    if (code == ERROR_SUCCESS && accessor.HasValue(oldName)) {
      // The user's value of the new name would be overwritten.
      if (accessor.HasValue(newName)) {
        AddInfo(context, kRefusedExistingName + renaming);
        return;
      }
      // Type and bytes as stored: an expandable text stays expandable, a number a number.
      RegistryValue value;
      code = accessor.ReadValue(oldName, value);
      if (code == ERROR_SUCCESS) code = accessor.WriteValue(newName, value);
      // Both names hold the value now; the old one staying is a rename not completed.
      if (code == ERROR_SUCCESS) code = accessor.RemoveValue(oldName);
    }
    if (Stayed(code)) ReportStayed(context, kValueNotRenamedText, renaming, code);
  });
}
