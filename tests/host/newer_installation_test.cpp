#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/newer_installation.h"

namespace {

constexpr wchar_t kEntry[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRV";

SavedValue Text(const std::wstring& name, const std::wstring& text) {
  SavedValue value{name, 1, {}};
  for (const wchar_t c : text + L'\0') {
    value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return value;
}

JournalEntry KeyEntry(std::uint64_t number, const std::wstring& path, std::vector<SavedValue> values) {
  JournalEntry entry;
  entry.number = number;
  entry.kind = JournalKind::Key;
  entry.path = path;
  entry.values = std::move(values);
  return entry;
}

TEST(NewerInstallation, VersionsCompareNumberByNumber) {
  const struct {
    std::wstring a, b;
    int order;
  } cases[] = {
      {L"10.2", L"9.14", 1},        {L"9.14", L"10.2", -1},   {L"5.0", L"5", 0},
      {L"5.0.1", L"5", 1},          {L"05.1", L"5.01", 0},    {L"5.1b", L"5.1a", 1},
      {L"", L"", 0},                {L"1", L"", 1},           {L"123456789012345678901", L"99", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareVersions(c.a, c.b), c.order) << testing::PrintToString(c.a + L" " + c.b);
}

// The journal's key entries name the product's Uninstall entry with the version it had; a key
// below it, another place, and a deletion that was not carried out tell apart.
TEST(NewerInstallation, TheJournalNamesTheUninstallEntriesTheRunDeleted) {
  Journal journal;
  journal.entries = {
      KeyEntry(1, std::wstring(kEntry) + L"\\Sub", {Text(L"DisplayVersion", L"1.0")}),
      KeyEntry(2, kEntry, {Text(L"DisplayName", L"QRV"), Text(L"displayversion", L"5.2.1")}),
      KeyEntry(3, L"HKEY_USERS\\S-1-5-21-1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRVUser", {}),
      KeyEntry(4, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Uninstall\\QRV", {Text(L"DisplayVersion", L"5.2.1")}),
  };
  JournalEntry notDone;
  notDone.number = 5;
  notDone.kind = JournalKind::NotDone;
  notDone.notDone = 3;
  journal.entries.push_back(notDone);
  const auto found = InstallationsOf(journal);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].entry->number, 2u);
  EXPECT_EQ(found[0].version, L"5.2.1");
  EXPECT_TRUE(found[0].removed);
  EXPECT_EQ(found[1].entry->number, 3u);
  EXPECT_EQ(found[1].version, L"");
  EXPECT_FALSE(found[1].removed);
}

// What undo finds where the run's Uninstall entry was, against what the backup holds.
TEST(NewerInstallation, AnEntryBackAgainOrANewerVersionIsANewerInstallation) {
  const JournalEntry entry = KeyEntry(2, kEntry, {});
  const struct {
    const char* standsFor;
    bool removed;
    InstallationNow now;
    bool newer;
  } cases[] = {
      {"the product reinstalled after the run removed it", true, {true, L"5.2.1"}, true},
      {"an older version reinstalled after the run removed it", true, {true, L"4.0"}, true},
      {"nothing there: the run's removal stands", true, {false, {}}, false},
      {"an entry the run could not remove, same version", false, {true, L"5.2.1"}, false},
      {"an entry the run could not remove, updated since", false, {true, L"5.10"}, true},
      {"an entry the run could not remove, no version now", false, {true, L""}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standsFor);
    const JournaledInstallation journaled{&entry, L"5.2.1", c.removed};
    const std::string reason = NewerInstallationReason(journaled, c.now);
    EXPECT_EQ(!reason.empty(), c.newer) << reason;
    if (c.newer) {
      EXPECT_NE(reason.find("5.2.1 in the backup"), std::string::npos) << reason;
    }
  }
}

}  // namespace
