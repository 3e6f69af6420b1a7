#include <windows.h>

#include "backup/undo_steps.h"

#include <vector>

#include "backup/backup_reads.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/wide_text.h"

namespace {

constexpr REGSAM kValueRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

// A key that cannot be opened as itself: a link stands there now, or the user's hive is not
// the one the run loaded.
bool RefusedKey(UndoSteps& steps, const JournalEntry& entry, LONG code) {
  if (code == ERROR_CANT_ACCESS_FILE) {
    steps.Refused(entry, "a registry link stands on the way to it");
  } else if (code == ERROR_INVALID_NAME && !entry.hive.empty()) {
    steps.Refused(entry, "the user's hive is not the one the run loaded");
  } else {
    return false;
  }
  return true;
}

}  // namespace

void UndoKeyOrValueEntry(UndoSteps& steps, const JournalEntry& entry) {
  const std::string keyName = AnsiFromWide(entry.path);
  UniqueHKey key;
  const LONG opened = steps.OpenKey(entry, false, kValueRights, key);
  if (RefusedKey(steps, entry, opened)) return;
  const bool existed = opened == ERROR_SUCCESS;
  if (!existed) {
    const REGSAM rights = kValueRights | (entry.security.empty() ? 0 : READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (const LONG code = steps.OpenKey(entry, true, rights, key); code != ERROR_SUCCESS) {
      if (RefusedKey(steps, entry, code)) return;
      return steps.Failed(keyName, static_cast<DWORD>(code));
    }
  }
  int written = 0;
  int same = 0;
  for (const SavedValue& value : entry.values) {
    const std::string valueName = keyName + "\\" + AnsiFromWide(value.name);
    SavedValue now;
    if (ReadSavedValue(key.Get(), value.name, now) == ERROR_SUCCESS) {
      if (!SameValue(now, value)) {
        steps.SomethingElseThere(valueName);
      } else {
        ++same;
      }
      continue;
    }
    const std::vector<BYTE> data(value.data.begin(), value.data.end());
    const LONG code = steps.Context().effects.WriteRegistryValue(key.Get(), value.name, value.type, data, entry.path);
    if (code != ERROR_SUCCESS) {
      steps.Failed(valueName, static_cast<DWORD>(code));
    } else {
      ++written;
    }
  }
  // A key made again gets the security it had, once its subkeys are back; one that stood still
  // keeps its own.
  if (!existed) steps.PutSecurityLater(entry);
  if (!existed) steps.Done("key " + keyName);
  if (written > 0) steps.Done(std::to_string(written) + " value(s) of " + keyName);
  if (existed && written == 0 && same == static_cast<int>(entry.values.size())) {
    steps.AlreadyInPlace((entry.kind == JournalKind::Key ? "key " : "value of ") + keyName);
  }
}

// A value the run wrote under a new name goes again, but only while it holds what the run wrote.
void UndoWrittenValueEntry(UndoSteps& steps, const JournalEntry& entry) {
  if (entry.values.size() != 1) return;
  const SavedValue& written = entry.values.front();
  UniqueHKey key;
  const LONG opened = steps.OpenKey(entry, false, kValueRights, key);
  if (RefusedKey(steps, entry, opened)) return;
  if (opened == ERROR_FILE_NOT_FOUND) return steps.AlreadyInPlace("no key " + AnsiFromWide(entry.path));
  if (opened != ERROR_SUCCESS) return steps.Failed(AnsiFromWide(entry.path), static_cast<DWORD>(opened));
  SavedValue now;
  if (ReadSavedValue(key.Get(), written.name, now) != ERROR_SUCCESS) {
    return steps.AlreadyInPlace("no renamed value " + AnsiFromWide(entry.path + L"\\" + written.name));
  }
  const std::string valueName = AnsiFromWide(entry.path + L"\\" + written.name);
  if (!SameValue(now, written)) return steps.SomethingElseThere(valueName);
  const LONG code = steps.Context().effects.DeleteRegistryValue(key.Get(), written.name, entry.path);
  if (code != ERROR_SUCCESS) return steps.Failed(valueName, static_cast<DWORD>(code));
  steps.Done("by removing the renamed value " + valueName);
}
