#include <gtest/gtest.h>

#include "engine/rules/registry_entry.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;
}  // namespace

TEST(RegistryEntryRoot, OnlyTheThreeFullNamesInAnyCaseSelectARoot) {
  const struct {
    const char* line;
    RegistryRoot root;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV", LM},
      {"hkey_local_machine\\SOFTWARE\\QRV", LM},
      {"Hkey_Classes_Root\\.qrv", CR},
      {"HKEY_CURRENT_USER\\Software\\QRV", CU},
      {"HKLM\\SOFTWARE\\QRV", CU},
      {"HKCR\\.qrv", CU},
      {"HKEY_USERS\\.DEFAULT\\Software", CU},
      {" HKEY_LOCAL_MACHINE\\SOFTWARE", CU},
      {"HKEY_LOCAL_MACHINE \\SOFTWARE", CU},
      {"\\SOFTWARE\\QRV", CU},
      {"HKEY_LOCAL_MACHINE", CU},  // no `\`: the root name is empty
      {"", CU},
      {"SOFTWARE\\HKEY_LOCAL_MACHINE\\X", CU},
  };
  for (const auto& c : cases) EXPECT_EQ(RootOfEntry(c.line), c.root) << c.line;
}

TEST(DeleteKeyEntryParse, KeyPathIsEverythingAfterTheFirstBackslash) {
  const struct {
    const char* line;
    RegistryRoot root;
    const char* keyPath;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\QRV", LM, "SOFTWARE\\Velmora\\QRV"},
      {"HKEY_CLASSES_ROOT\\QRV.Document", CR, "QRV.Document"},
      {"HKLM\\SOFTWARE\\QRV", CU, "SOFTWARE\\QRV"},
      {"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\QRV", LM, "\\SOFTWARE\\QRV"},  // passed on unchanged
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV\\", LM, "SOFTWARE\\QRV\\"},
      {"Software\\QRV=x", CU, "QRV=x"},
      {"Software", CU, "Software"},  // no `\`: the whole line
      {"HKEY_LOCAL_MACHINE\\", LM, ""},
      {"HKEY_LOCAL_MACHINE\\\\", LM, "\\"},
      {"\\", CU, ""},
      {"", CU, ""},
  };
  for (const auto& c : cases) {
    const DeleteKeyEntry entry = ParseDeleteKeyEntry(c.line);
    EXPECT_EQ(entry.root, c.root) << c.line;
    EXPECT_EQ(entry.keyPath, c.keyPath) << c.line;
  }
}

TEST(DeleteValueEntryParse, KeyPathUpToTheFirstEqualsValueNameAfterIt) {
  const struct {
    const char* line;
    RegistryRoot root;
    const char* keyPath;
    const char* valueName;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run=QRV Monitor", LM, "SOFTWARE\\Run", "QRV Monitor"},
      {"hkey_current_user\\Software\\X=a=b=c", CU, "Software\\X", "a=b=c"},
      {"HKEY_CLASSES_ROOT\\.qrv=", CR, ".qrv", ""},  // the default value
      {"HKEY_LOCAL_MACHINE\\=Name", LM, "", "Name"},  // a value of the root key
      {"Software\\X\\Y=v", CU, "X\\Y", "v"},
      {"Software=v", CU, "Software", "v"},  // no `\`: key path before the `=`
      {"=v", CU, "", "v"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", LM, "", "HKEY_LOCAL_MACHINE\\SOFTWARE\\X"},  // no `=`
      {"Name", CU, "", "Name"},
      {"a=b\\c", CU, "", "b\\c"},  // the `=` comes before the first `\`
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\=v", LM, "SOFTWARE\\X\\", "v"},
  };
  for (const auto& c : cases) {
    const DeleteValueEntry entry = ParseDeleteValueEntry(c.line);
    EXPECT_EQ(entry.root, c.root) << c.line;
    EXPECT_EQ(entry.keyPath, c.keyPath) << c.line;
    EXPECT_EQ(entry.valueName, c.valueName) << c.line;
  }
}

TEST(RenameValueEntryParse, NewNameRunsBackFromTheFirstEqualsToABackslash) {
  const struct {
    const char* line;
    RegistryRoot root;
    const char* keyPath;
    const char* newName;
    const char* oldName;
  } cases[] = {
      {"HKEY_CURRENT_USER\\Software\\X\\B=A", CU, "Software\\X", "B", "A"},
      {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\QRV\\Path New=Path", LM, "SOFTWARE\\Velmora\\QRV", "Path New",
       "Path"},
      {"HKEY_CURRENT_USER\\B=A", CU, "", "B", "A"},  // a value of the root key
      {"HKEY_CURRENT_USER\\Software\\X\\=A", CU, "Software\\X", "", "A"},
      {"HKEY_CURRENT_USER\\Software\\X\\B=", CU, "Software\\X", "B", ""},
      {"HKEY_CURRENT_USER\\Software\\X\\B=A=C\\D", CU, "Software\\X", "B", "A=C\\D"},
      {"HKLM\\Software\\X\\B=A", CU, "Software\\X", "B", "A"},
      {"HKEY_CLASSES_ROOT\\\\CLSID\\B=A", CR, "\\CLSID", "B", "A"},
      {"\\B=A", CU, "", "B", "A"},
  };
  for (const auto& c : cases) {
    const auto entry = ParseRenameValueEntry(c.line);
    ASSERT_TRUE(entry.has_value()) << c.line;
    EXPECT_EQ(entry->root, c.root) << c.line;
    EXPECT_EQ(entry->keyPath, c.keyPath) << c.line;
    EXPECT_EQ(entry->newName, c.newName) << c.line;
    EXPECT_EQ(entry->oldName, c.oldName) << c.line;
  }
}

TEST(RenameValueEntryParse, NoEqualsOrNoBackslashBeforeItGivesNoEntry) {
  for (const char* line : {"", "HKEY_CURRENT_USER\\Software\\X\\B", "B=A", "=A", "B=A\\C", "HKEY_CURRENT_USER"}) {
    EXPECT_FALSE(ParseRenameValueEntry(line).has_value()) << line;
  }
}
