#include <windows.h>

#include "backup/undo_steps.h"

#include <vector>

#include "backup/backup_reads.h"
#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/wide_text.h"

void UndoKeyOrValueEntry(UndoSteps& steps, const JournalEntry& entry) {
  const std::string keyName = AnsiFromWide(entry.path);
  UniqueHKey key;
  const bool existed = steps.OpenKey(entry.path, false, key) == ERROR_SUCCESS;
  if (!existed) {
    if (const LONG code = steps.OpenKey(entry.path, true, key); code != ERROR_SUCCESS) {
      return steps.Failed(keyName, static_cast<DWORD>(code));
    }
  }
  int written = 0;
  for (const SavedValue& value : entry.values) {
    const std::string valueName = keyName + "\\" + AnsiFromWide(value.name);
    SavedValue now;
    if (ReadSavedValue(key.Get(), value.name, now) == ERROR_SUCCESS) {
      if (!SameValue(now, value)) steps.SomethingElseThere(valueName);
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
  if (!existed) steps.Done("key " + keyName);
  if (written > 0) steps.Done(std::to_string(written) + " value(s) of " + keyName);
}

// A value the run wrote under a new name goes again, but only while it holds what the run wrote.
void UndoWrittenValueEntry(UndoSteps& steps, const JournalEntry& entry) {
  if (entry.values.size() != 1) return;
  const SavedValue& written = entry.values.front();
  UniqueHKey key;
  if (steps.OpenKey(entry.path, false, key) != ERROR_SUCCESS) return;
  SavedValue now;
  if (ReadSavedValue(key.Get(), written.name, now) != ERROR_SUCCESS) return;
  const std::string valueName = AnsiFromWide(entry.path + L"\\" + written.name);
  if (!SameValue(now, written)) return steps.SomethingElseThere(valueName);
  const LONG code = steps.Context().effects.DeleteRegistryValue(key.Get(), written.name, entry.path);
  if (code != ERROR_SUCCESS) return steps.Failed(valueName, static_cast<DWORD>(code));
  steps.Done("by removing the renamed value " + valueName);
}
