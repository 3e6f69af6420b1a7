#include <gtest/gtest.h>

#include "engine/guards/registry_safety.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;
constexpr auto Shared = KeyVerdict::SharedKey;
constexpr auto Tree = KeyVerdict::ProtectedTree;
constexpr auto Free = KeyVerdict::Deletable;
}  // namespace

TEST(RegistrySafety, PathsNamingNoKey) {
  for (const char* path : {"", "\\", "\\\\", "\\\\\\\\"}) EXPECT_TRUE(NamesNoKey(path)) << path;
  for (const char* path : {"X", "\\X", "X\\", " ", "\\ \\"}) EXPECT_FALSE(NamesNoKey(path)) << path;
}

// Each key in the spellings an attacker would try, with what a delete-key entry may do to it
// and whether its values may be deleted or renamed.
TEST(RegistrySafety, EveryKeySpellingGetsOneVerdict) {
  const struct {
    RegistryRoot root;
    std::string path;
    KeyVerdict verdict;
    bool valuesProtected;
  } cases[] = {
      {LM, "", Shared, false},
      {LM, "\\SOFTWARE\\", Shared, false},
      {CU, "Environment", Shared, true},
      {LM, "\\\\SOFTWARE\\\\Microsoft\\\\", Shared, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", Shared, true},
      {CU, "software\\microsoft\\windows\\currentversion\\run", Shared, false},
      {LM, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", Shared, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", Shared, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", Shared, false},
      {LM, "SOFTWARE\\Microsoft\\Windows NT", Shared, false},
      {LM, "system\\controlset001\\services", Shared, false},
      {LM, "SYSTEM\\ControlSet002", Shared, false},
      {LM, "SOFTWARE\\Classes", Shared, true},
      {CU, "Software\\Classes\\*", Shared, true},
      {LM, "SOFTWARE\\WOW6432Node\\Classes\\CLSID", Shared, true},
      {CR, "CLSID", Shared, true},
      {CR, "Wow6432Node\\CLSID", Shared, true},
      {CR, "exefile", Shared, true},
      {CR, "EXEFILE\\shell\\open\\command", Shared, true},
      {CR, "lnkfile\\shellex\\IconHandler", Shared, true},
      {CR, ".exe", Shared, true},
      {CR, ".lnk", Shared, true},
      {CR, "*\\shellex\\ContextMenuHandlers", Shared, true},
      {CR, "Directory\\Background\\shellex", Shared, true},
      {CR, "AllFilesystemObjects", Shared, true},
      {CR, ".txt\\OpenWithProgids", Shared, false},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", Tree, true},
      {LM, "SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment", Tree, true},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", Tree, true},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", Tree, true},
      {LM, "SOFTWARE\\Wow6432Node\\Microsoft\\Cryptography\\Anything", Tree, true},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e967-e325-11ce-bfc1-08002be10318}", Tree, true},
      {LM, "SYSTEM\\CurrentControlSet\\Enum\\Root", Tree, true},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\Tcpip", Tree, true},
      {LM, "SYSTEM\\MountedDevices", Tree, true},
      {LM, "SYSTEM\\Select", Tree, true},
      {LM, "SYSTEM\\Setup", Tree, true},
      {LM, "HARDWARE\\DESCRIPTION", Tree, true},
      {LM, "SAM\\SAM", Tree, true},
      {LM, "SECURITY\\Policy", Tree, true},
      {CU, "Control Panel\\Desktop", Tree, true},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", Tree, true},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", Tree, true},
      {LM, "SOFTWARE\\Velmora", Free, false},
      {CU, "Software\\Velmora\\QRV", Free, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRV", Free, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\qrv.exe", Free, false},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\QRVService", Free, false},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QRV", Free, false},
      {LM, "SYSTEM\\ControlSetX", Free, false},
      {LM, "SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}", Free, false},
      {CR, ".qrv", Free, false},
      {CR, "QRV.Document\\shell\\open\\command", Free, false},
      {CR, "*\\shellex\\ContextMenuHandlers\\ZDNScan", Free, false},
      {CR, "Directory\\shell\\ZDNScan\\command", Free, false},
      {CR, "exefile\\shellex\\PropertySheetHandlers\\QRV", Free, false},
      {CR, "SOFTWARE", Free, false},
      // A name beyond the registry's 255 characters names no key that can exist.
      {LM, "SAM\\" + std::string(256, 'S'), Free, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeKeyDeletion(c.root, c.path), c.verdict) << c.path;
    EXPECT_EQ(ProtectsValuesOf(c.root, c.path), c.valuesProtected) << c.path;
  }
  // As the registry is handed it, in UTF-16: dotless i and long s are capital I and S to a
  // registry that folds them, so they spell the same key.
  EXPECT_EQ(JudgeKeyDeletion(LM, L"SOFTWARE\\M\u0131crosoft\\Cryptography"), Tree);
  EXPECT_EQ(JudgeKeyDeletion(LM, L"\u017fam"), Tree);
  EXPECT_EQ(JudgeKeyDeletion(CR, L"*\\shellex\\ContextMenuHandlers\\ZDNScan"), Free);
}

TEST(RegistrySafety, EveryListedKeyIsGuarded) {
  for (const auto& list : {ProtectedRegistryTrees(), SharedRegistryKeys(), ProtectedValueKeys()}) {
    for (const std::string_view entry : list) {
      const std::string_view path = entry.substr(entry.find('\\') + 1);
      const RegistryRoot root = entry.starts_with("HKCR") ? CR : entry.starts_with("HKCU") ? CU : LM;
      EXPECT_NE(JudgeKeyDeletion(root, path), Free) << entry;
    }
  }
  for (const std::string_view type : ShellFileTypeKeys()) {
    EXPECT_TRUE(ProtectsValuesOf(CR, type)) << type;
    for (const std::string_view child : ShellStructuralKeys()) {
      EXPECT_NE(JudgeKeyDeletion(CR, std::string(type) + "\\" + std::string(child)), Free) << type << "\\" << child;
    }
  }
}

TEST(RegistrySafety, OnlyRenamesOfTheDefaultValueAreRefusedAsSuch) {
  EXPECT_TRUE(RenamesTheDefaultValue("", "Old"));
  EXPECT_TRUE(RenamesTheDefaultValue("New", ""));
  EXPECT_FALSE(RenamesTheDefaultValue("New", "Old"));
}
