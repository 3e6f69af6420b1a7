#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backup/backup_effects.h"
#include "backup/backup_journal.h"
#include "backup/backup_key_names.h"
#include "backup/undo_steps.h"
#include "platform/effects.h"
#include "platform/registry/key_opening.h"
#include "platform/registry/registry_accessor.h"
#include "platform/security/security_descriptor.h"
#include "platform/security/taken_over_security.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/seeded_registry.h"
#include "tests/support/windows_descriptors.h"
#include "tests/support/wine_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// The registry's open as Windows answers it for one key: `plain` to an ordinary open, `backup`
// to one with REG_OPTION_BACKUP_RESTORE; a success opens HKEY_CURRENT_USER\Software.
struct OpenAnswers {
  LONG plain = ERROR_SUCCESS;
  LONG backup = ERROR_SUCCESS;
  std::vector<DWORD> options;  // asked, in order
};
OpenAnswers answers;
LONG WINAPI AnsweringOpen(HKEY, LPCWSTR, DWORD options, REGSAM, PHKEY key) {
  answers.options.push_back(options);
  const LONG code = (options & REG_OPTION_BACKUP_RESTORE) != 0 ? answers.backup : answers.plain;
  if (code != ERROR_SUCCESS) return code;
  return RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key);
}

// Windows: keys locked to SYSTEM (kSystemOnlyKey). The administrators may read them and their
// descriptor but neither change nor delete them until they own them; Wine grants everything, so
// this gateway answers as Windows would where the backup and restore privileges did not open
// them either (a token without them). A key in `kernelProtected` refuses even a take-over, as a
// product's self-protection driver does; one in `unreadable` refuses reading its descriptor.
class SystemOnlyKeys : public LiveEffects {
 public:
  std::set<std::wstring> locked;
  std::set<std::wstring> kernelProtected;
  std::set<std::wstring> unreadable;
  std::vector<std::wstring> takenOver;
  std::vector<std::pair<std::wstring, std::wstring>> securitySet;  // key, descriptor

  LONG OpenRegistryKey(HKEY base, const std::wstring& sub, DWORD options, REGSAM rights, const std::wstring& name,
                       UniqueHKey& key) override {
    const bool reads = (rights & ~(KEY_READ | KEY_WOW64_RES)) == 0;
    if ((locked.contains(name) && !reads) || (unreadable.contains(name) && (rights & READ_CONTROL) != 0)) {
      return ERROR_ACCESS_DENIED;
    }
    return LiveEffects::OpenRegistryKey(base, sub, options, rights, name, key);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& sub, REGSAM view, const std::wstring& name) override {
    return locked.contains(name) ? ERROR_ACCESS_DENIED : LiveEffects::DeleteRegistryKey(base, sub, view, name);
  }
  LONG DeleteOpenRegistryKey(HKEY key, HKEY base, const std::wstring& sub, REGSAM view,
                             const std::wstring& name) override {
    return locked.contains(name) ? ERROR_ACCESS_DENIED : LiveEffects::DeleteOpenRegistryKey(key, base, sub, view, name);
  }
  LONG TakeKeyOwnership(HKEY, const std::wstring&, REGSAM, const std::wstring& name) override {
    if (kernelProtected.contains(name)) return ERROR_ACCESS_DENIED;
    takenOver.push_back(name);
    locked.erase(name);
    return ERROR_SUCCESS;
  }
  LONG SetKeySecurity(HKEY, const std::wstring& sddl, const std::wstring& name) override {
    securitySet.emplace_back(name, sddl);
    return ERROR_SUCCESS;
  }
};

}  // namespace

// A plain open first; the backup/restore option only where the key's access list denies it.
TEST(KeyOpening, ADeniedKeyIsOpenedAgainWithTheBackupRestoreOption) {
  const struct {
    const char* windowsCase;
    LONG plain, backup, result;
    std::vector<DWORD> asked;
  } cases[] = {
      {"a key locked to SYSTEM, SeBackup and SeRestore enabled", ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS,
       {REG_OPTION_OPEN_LINK, REG_OPTION_OPEN_LINK | REG_OPTION_BACKUP_RESTORE}},
      {"the same key for a token without the two privileges", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
       ERROR_ACCESS_DENIED, {REG_OPTION_OPEN_LINK, REG_OPTION_OPEN_LINK | REG_OPTION_BACKUP_RESTORE}},
      {"a key the administrators may change", ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS,
       {REG_OPTION_OPEN_LINK}},
      {"a key that is not there", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, {REG_OPTION_OPEN_LINK}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.windowsCase);
    answers = {c.plain, c.backup, {}};
    UniqueHKey key;
    EXPECT_EQ(OpenKeyPastAccessList(HKEY_CURRENT_USER, L"Any", REG_OPTION_OPEN_LINK, DELETE, key, AnsweringOpen),
              c.result);
    EXPECT_EQ(key.Valid(), c.result == ERROR_SUCCESS);
    EXPECT_EQ(answers.options, c.asked);
  }
}

// A product's key tree locked to SYSTEM, where the backup and restore privileges do not open
// it: each key is taken over (its descriptor journaled first) and goes; a key whose descriptor
// cannot be read is not taken over (undo could not put it back) and one the product's driver
// protects stays: each with a line, the run's exit code 1.
TEST(KeyTakeOver, ALockedKeyIsTakenOverWithItsDescriptorJournaledOrStaysWithALine) {
  const struct {
    const char* windowsCase;
    bool kernelProtected;
    bool unreadable;
    bool gone;
    std::size_t journaled;  // key-security entries of take-overs that were made
  } cases[] = {
      {"keys locked to SYSTEM, the administrators may read them", false, false, true, 2},
      {"the top's descriptor is refused to the administrators too", false, true, false, 0},
      {"a self-protection driver refuses every change of the top", true, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.windowsCase);
    ScratchFolder scratch("takeover");
    const std::string path = "Software\\CleanerTests\\TakeOver_" + std::to_string(GetCurrentProcessId());
    TemporaryKey scratchKey(HKEY_CURRENT_USER, path);
    SeedStringValue(HKEY_CURRENT_USER, path + "\\Locked\\Sub", "x", "y");
    const std::wstring top = L"HKEY_CURRENT_USER\\" + WideFromAnsi(path) + L"\\Locked", sub = top + L"\\Sub";
    UniqueHKey topKey;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (WideFromAnsi(path) + L"\\Locked").c_str(), 0, KEY_READ, topKey.Put()),
              ERROR_SUCCESS);
    const std::wstring before = KeySecurityText(topKey.Get());
    topKey.Reset();

    SystemOnlyKeys windows;
    windows.locked = {top, sub};
    if (c.kernelProtected) windows.kernelProtected = {top};
    if (c.unreadable) windows.unreadable = {top};
    BackupEffects backup(windows);
    EngineTestContext test(backup);
    Lines refused, noted;
    backup.BeginRun(
        scratch / "Backup", [&](const std::string& line) { refused.push_back(line); },
        [&](const std::string& line) { noted.push_back(line); });
    RegistryAccessor accessor(backup);
    accessor.SelectRoot(HKEY_CURRENT_USER);
    const TreeDeletion deletion = accessor.DeleteKeyTree(WideFromAnsi(path) + L"\\Locked");
    backup.EndRun();

    EXPECT_EQ(deletion.Deleted(), c.gone);
    EXPECT_EQ(KeyExistsForTest(HKEY_CURRENT_USER, path + "\\Locked"), !c.gone);
    // A top that is not taken over is not descended into either.
    EXPECT_EQ(KeyExistsForTest(HKEY_CURRENT_USER, path + "\\Locked\\Sub"), !c.gone);
    // A run that journaled nothing made no run folder (a refused take-over is all it did).
    Journal journal;
    if (!noted.empty()) {
      const std::string run = noted.front().substr(std::string(kBackupFolderText).size());
      journal = ParseJournal(ReadBytes(run + "\\" + kJournalFileName));
    }
    std::set<std::uint64_t> notDone;
    for (const JournalEntry& entry : journal.entries) {
      if (entry.kind == JournalKind::NotDone) notDone.insert(entry.notDone);
    }
    std::vector<std::wstring> journaled;
    for (const JournalEntry& entry : journal.entries) {
      if (entry.kind != JournalKind::KeySecurity || notDone.contains(entry.number)) continue;
      journaled.push_back(entry.path);
      EXPECT_FALSE(entry.security.empty());
      if (entry.path.ends_with(L"\\Locked")) {
        EXPECT_EQ(entry.security, before);
      }
    }
    EXPECT_EQ(journaled.size(), c.journaled);
    EXPECT_EQ(windows.takenOver.size(), c.journaled);
    // What stays is named once: by the backup where it refused the take-over, else by the walk.
    if (c.unreadable) {
      EXPECT_EQ(refused.size(), 1u);
      EXPECT_TRUE(deletion.stayed.empty() || deletion.stayed.front().code == static_cast<LONG>(kBackupRefusedCode));
    }
    if (c.kernelProtected) {
      EXPECT_EQ(refused, Lines{});
      ASSERT_EQ(deletion.stayed.size(), 1u);
      EXPECT_EQ(deletion.stayed.front().code, ERROR_ACCESS_DENIED);
    }
  }
}

// Undo puts the descriptor a key had before the run took it over back last: after the one the
// key had when it was deleted (already the administrators'), whatever the depth.
TEST(KeyTakeOver, UndoPutsTheDescriptorFromBeforeTheTakeOverBackLast) {
  ScratchFolder scratch("takeoverundo");
  const std::string path = "Software\\CleanerTests\\TakeOverUndo_" + std::to_string(GetCurrentProcessId());
  TemporaryKey scratchKey(HKEY_CURRENT_USER, path);
  SeedKey(HKEY_CURRENT_USER, path + "\\Locked\\Sub");
  SystemOnlyKeys windows;
  EngineTestContext test(windows);
  UndoSteps steps(test.context, WideFromAnsi(scratch.Path()));
  const std::wstring taken = TakenOverSecurity(windows_descriptors::kSystemOnlyKey).value();
  // As undo meets them, newest first: the key deleted, then its take-over; the top's likewise.
  std::vector<std::wstring> keys;
  for (const wchar_t* below : {L"\\Locked\\Sub", L"\\Locked"}) {
    UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (WideFromAnsi(path) + below).c_str(), 0, KEY_READ, key.Put()),
              ERROR_SUCCESS);
    JournalEntry entry;
    entry.path = BackupKeyName(InternalKeyName(key.Get()));
    ASSERT_FALSE(entry.path.empty());
    keys.push_back(entry.path);
    entry.kind = JournalKind::Key;
    entry.security = taken;
    steps.PutSecurityLater(entry);
    entry.kind = JournalKind::KeySecurity;
    entry.security = windows_descriptors::kSystemOnlyKey;
    steps.PutSecurityLater(entry);
  }
  steps.PutLaterSecurity();
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {keys[0], taken}, {keys[0], windows_descriptors::kSystemOnlyKey},
      {keys[1], taken}, {keys[1], windows_descriptors::kSystemOnlyKey}};
  EXPECT_EQ(windows.securitySet, expected);
  EXPECT_EQ(steps.Restored(), 2);
  EXPECT_EQ(steps.NotRestored(), 0);
}
