#include <gtest/gtest.h>

#include "engine/registry_safety.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;
}  // namespace

TEST(RegistrySafety, PathsNamingNoKey) {
  for (const char* path : {"", "\\", "\\\\", "\\\\\\\\"}) EXPECT_TRUE(NamesNoKey(path)) << path;
  for (const char* path : {"X", "\\X", "X\\", " ", "\\ \\"}) EXPECT_FALSE(NamesNoKey(path)) << path;
}

TEST(RegistrySafety, SharedKeysAreRefusedInAnyCaseAndSpelling) {
  const struct {
    RegistryRoot root;
    const char* path;
  } shared[] = {
      {LM, ""},
      {LM, "SOFTWARE"},
      {CU, "Software"},
      {LM, "SYSTEM"},
      {CU, "Environment"},
      {LM, "\\SOFTWARE\\"},
      {LM, "SOFTWARE\\Microsoft"},
      {CU, "software\\microsoft"},
      {LM, "\\\\SOFTWARE\\\\Microsoft\\\\"},
      {LM, "SOFTWARE\\Classes"},
      {LM, "SOFTWARE\\Microsoft\\Windows"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"},
      {LM, "SOFTWARE\\WOW6432Node"},
      {LM, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {LM, "SYSTEM\\CurrentControlSet"},
      {LM, "SYSTEM\\CurrentControlSet\\Services"},
      {LM, "system\\controlset001\\services"},
      {LM, "SYSTEM\\ControlSet002"},
      {LM, "SOFTWARE\\Classes\\CLSID"},
      {CU, "Software\\Classes\\*"},
      {LM, "SOFTWARE\\WOW6432Node\\Classes\\CLSID"},
      {CR, ""},
      {CR, "\\"},
      {CR, "CLSID"},
      {CR, "clsid\\"},
      {CR, "Interface"},
      {CR, "TypeLib"},
      {CR, "AppID"},
      {CR, "*"},
      {CR, "Directory"},
      {CR, "Folder"},
      {CR, "Wow6432Node"},
      {CR, "Wow6432Node\\CLSID"},
  };
  for (const auto& c : shared) EXPECT_TRUE(IsSharedRegistryKey(c.root, c.path)) << c.path;
}

TEST(RegistrySafety, ProductKeysBelowSharedOnesMayBeDeleted) {
  const struct {
    RegistryRoot root;
    const char* path;
  } own[] = {
      {LM, "SOFTWARE\\Velmora"},
      {CU, "Software\\Velmora\\QRV"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRV"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\QRV"},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\QRVService"},
      {LM, "SYSTEM\\ControlSetX"},
      {LM, "SOFTWARE\\Classes\\QRV.Document"},
      {LM, "SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}"},
      {LM, "SOFTWARE\\WOW6432Node\\Velmora"},
      {CR, ".qrv"},
      {CR, "QRV.Document"},
      {CR, "CLSID\\{00000000-0000-0000-0000-000000000001}"},
      {CR, "*\\shellex\\ContextMenuHandlers\\QRV"},
      {CR, "SOFTWARE"},
  };
  for (const auto& c : own) EXPECT_FALSE(IsSharedRegistryKey(c.root, c.path)) << c.path;
}
