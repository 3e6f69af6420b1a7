#pragma once
// Whether a run's places now hold a newer installation of the product: the product was
// installed again after the run removed it, or its version grew since. The journal tells what
// the run found: its key entries hold every value of each key the run deleted, the product's
// Uninstall entry and its DisplayVersion among them, in every version of the journal.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_journal.h"

// Followed by why; undo restores nothing and changes nothing (unless kOverNewerSwitch is given).
inline constexpr char kUndoNewerInstallationText[] =
    "Nothing restored: a newer installation of the product is in place - ";
// The switch that has undo put back what the run removed even over a newer installation.
inline constexpr char kOverNewerSwitch[] = "/OVERNEWER";

// A product's Uninstall entry as the journal holds it: a key named
// HKEY_...\Software\[WOW6432Node\]Microsoft\Windows\CurrentVersion\Uninstall\<name>.
struct JournaledInstallation {
  const JournalEntry* entry = nullptr;  // the key's entry: path, hive, values
  std::wstring version;                 // its DisplayVersion, empty where it had none
  bool removed = false;                 // the run deleted it (no not-done line)
};

// The Uninstall entries a journal's key entries name, in journal order.
std::vector<JournaledInstallation> InstallationsOf(const Journal& journal);

// The DisplayVersion among a key's values (any letter case), empty where there is none.
std::wstring DisplayVersionOf(const std::vector<SavedValue>& values);

// Compares two versions part by part ("10.2.0" after "9.14"); numbers as numbers, any other
// part as text; a missing part counts as 0. Negative, zero or positive.
int CompareVersions(std::wstring_view a, std::wstring_view b);

// How an Uninstall entry stands at undo: there or not, and its DisplayVersion.
struct InstallationNow {
  bool present = false;
  std::wstring version;
};

// Why the entry's place holds a newer installation now (UTF-8), or empty: an entry the run
// removed is there again, or one the run left is there with a newer version.
std::string NewerInstallationReason(const JournaledInstallation& journaled, const InstallationNow& now);
