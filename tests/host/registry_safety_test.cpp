#include <gtest/gtest.h>

#include "engine/guards/registry_safety.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;
constexpr auto Shared = KeyVerdict::SharedKey;
constexpr auto Tree = KeyVerdict::ProtectedTree;
constexpr auto Free = KeyVerdict::Deletable;
constexpr auto Structural = KeyVerdict::StructuralKey;
constexpr auto Overlong = KeyVerdict::OverlongName;
}  // namespace

TEST(RegistrySafety, PathsNamingNoKey) {
  for (const char* path : {"", "\\", "\\\\", "\\\\\\\\"}) EXPECT_TRUE(NamesNoKey(path)) << path;
  for (const char* path : {"X", "\\X", "X\\", " ", "\\ \\"}) EXPECT_FALSE(NamesNoKey(path)) << path;
  for (const std::string& path : {std::string(256, 'K'), "A\\" + std::string(256, 'K') + "\\B", std::string(300, 'K') + "\\"}) {
    EXPECT_TRUE(HasOverlongKeyName(path)) << path.size();
  }
  for (const std::string& path : {std::string(255, 'K'), std::string(255, 'K') + "\\" + std::string(255, 'K'), std::string(600, '\\')}) {
    EXPECT_FALSE(HasOverlongKeyName(path)) << path.size();
  }
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
      {LM, "\\\\SOFTWARE\\\\Microsoft\\\\", Shared, true},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", Shared, true},
      {CU, "software\\microsoft\\windows\\currentversion\\run", Shared, false},
      {LM, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", Shared, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", Shared, true},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", Shared, true},
      {LM, "SOFTWARE\\Microsoft\\Windows NT", Shared, true},
      {LM, "system\\controlset001\\services", Shared, true},
      {LM, "SYSTEM\\ControlSet002", Shared, true},
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
      // Windows' own per-user places, reached through either spelling of the user's classes.
      {CU, "Software\\Classes\\Local Settings", Tree, true},
      {CU, "Software\\Classes\\Local Settings\\MuiCache\\1a\\52C64B7E", Tree, true},
      {CR, "Local Settings\\Software\\Microsoft\\Windows\\Shell\\Bags", Tree, true},
      {CU, "Software\\Microsoft\\Windows\\Shell\\BagMRU\\0", Tree, true},
      {CU, "Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache", Tree, true},
      {CU, "Software\\Microsoft\\Windows\\Shell", Shared, true},
      {CR, "Local Settingsx", Free, false},
      {LM, "SOFTWARE\\Velmora", Free, false},
      {CU, "Software\\Velmora\\QRV", Free, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRV", Free, false},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\qrv.exe", Free, false},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\QRVService", Free, false},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QRV", Free, false},
      {LM, "SYSTEM\\ControlSetX", Structural, true},
      {LM, "SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}", Free, false},
      {CR, ".qrv", Free, false},
      {CR, "QRV.Document\\shell\\open\\command", Free, false},
      {CR, "*\\shellex\\ContextMenuHandlers\\ZDNScan", Free, false},
      {CR, "Directory\\shell\\ZDNScan\\command", Free, false},
      {CR, "exefile\\shellex\\PropertySheetHandlers\\QRV", Free, false},
      {CR, "SOFTWARE", Free, false},
      // A name beyond the registry's 255 characters names no key that can exist: the line is a
      // mistake, refused with its own verdict, at any depth, inside Windows' keys or not.
      {LM, "SAM\\" + std::string(256, 'S'), Overlong, true},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\" + std::string(255, 'W'), Tree, true},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\" + std::string(256, 'W'), Overlong, true},
      {CU, "Software\\Microsoft\\" + std::string(256, 'M'), Overlong, true},
      {CU, "Software\\Velmora\\" + std::string(256, 'V'), Overlong, true},
      {CU, "Software\\Velmora\\" + std::string(255, 'V'), Free, false},
      {CU, "Software\\Velmora" + std::string(20, '\\') + std::string(254, 'V'), Free, false},
      {CU, "Software\\Velmora" + std::string(20, '\\') + "V", Free, false},
      // Deeper than the judged names, where only the length still counts.
      {CU, "a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n\\o\\p\\q\\r\\" + std::string(260, 'Z'), Overlong, true},
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

// In Windows' own namespaces only the places where products register allow a change: a key
// below a registration container, a value in a key where products keep values or in a key a
// product registered. Containers, keys between them and keys Windows cannot run without are
// refused whatever their names.
TEST(RegistrySafety, WindowsNamespacesAreDenyByDefault) {
  constexpr auto Setting = ValueVerdict::WindowsSetting;
  constexpr auto Foreign = ValueVerdict::NotAProductPlace;
  constexpr auto Changeable = ValueVerdict::Changeable;
  const struct {
    RegistryRoot root;
    const char* path;
    KeyVerdict key;
    ValueVerdict values;
  } cases[] = {
      // Windows Installer's upgrade codes and folders of a product: a product's key, a product's value.
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\12E9A5C3D4B7F8E4A916D0E2F5A7B8FF", Free, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes", Shared, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", Shared, Changeable},
      // Keys Windows cannot boot or sign in without.
      {LM, "SYSTEM\\CurrentControlSet\\Services\\KSecDD", Tree, Setting},
      {LM, "SYSTEM\\ControlSet001\\Services\\CNG", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\nsi\\Parameters", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\Appinfo", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\gpsvc", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\WinDefend", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\SamSs", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\LSM", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\SecurityProviders", Tree, Setting},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\CrashControl", Tree, Setting},
      // Structural keys: a rule one level too high, or a key between containers.
      {LM, "SYSTEM\\CurrentControlSet\\Control\\Print", Shared, Foreign},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\Video", Structural, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", Structural, Foreign},
      {CU, "Software\\Microsoft\\Office", Structural, Foreign},
      {LM, "SOFTWARE\\Policies\\Microsoft\\Windows Defender", Structural, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18", Structural, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products", Shared, Foreign},
      {CR, "Installer\\Products", Shared, Foreign},
      {CR, "Installer", Shared, Foreign},
      {CR, "*\\shellex\\ContextMenuHandlers", Shared, Setting},
      {LM, "SOFTWARE\\Microsoft\\Security Center\\Provider\\Av", Shared, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", Shared, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", Shared, Changeable},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run", Shared, Changeable},
      // Registrations of products, and what lies below them.
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\9A1B", Free, Changeable},
      {CR, "Installer\\Products\\9A1B2C\\SourceList", Free, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{QRV}", Free, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Security Center\\Provider\\Av\\{QRV}", Free, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\zdn.exe", Free, Changeable},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\ZdnMon\\Parameters", Free, Changeable},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QRV", Free, Changeable},
      {CR, "CLSID\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}\\InprocServer32", Free, Changeable},
      {CR, "exefile\\shell\\ZDNScan", Free, Changeable},
      {CR, ".qrv\\OpenWithProgids", Free, Changeable},
      // Windows' keys beside Microsoft's: default programs, mapped drives, the control panel.
      {LM, "SOFTWARE\\Clients", Structural, Foreign},
      {LM, "SOFTWARE\\Clients\\Mail", Shared, Foreign},
      {LM, "SOFTWARE\\Clients\\Mail\\QRV Mail", Free, Changeable},
      {LM, "SOFTWARE\\RegisteredApplications", Shared, Changeable},
      {CU, "Network\\Z", Structural, Foreign},
      {CU, "Printers\\Connections", Structural, Foreign},
      {CU, "Control Panel\\Cpls", Shared, Changeable},
      {CU, "Control Panel\\Appearance", Structural, Foreign},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls", Shared, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WINEVT\\Channels\\Velmora-QRV/Operational", Free, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION", Shared, Changeable},
      {LM, "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl", Structural, Foreign},
      {CU, "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers", Shared, Changeable},
      {CU, "Software\\Microsoft\\Office\\Outlook\\Addins\\QRV.OutlookAddin", Free, Changeable},
      // Outside Windows' namespaces the product's own keys are as before.
      {LM, "SOFTWARE\\VelmoraLab", Free, Changeable},
      {CU, "Software\\VelmoraLab\\Settings", Free, Changeable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeKeyDeletion(c.root, std::string_view(c.path)), c.key) << c.path;
    EXPECT_EQ(JudgeValueChange(c.root, std::string_view(c.path)), c.values) << c.path;
  }
}

// Every row of the table is itself refused, and a product's key below a key row may go.
TEST(RegistrySafety, EveryProductPlaceIsAContainerWithRegistrationsBelow) {
  for (const ProductPlace& place : ProductRegistryPlaces()) {
    std::string path(place.key.substr(std::min(place.key.size(), place.key.find('\\') + 1)));
    if (place.key == "HKCR") path.clear();
    for (const char* token : {"<file type>", "<any>"}) {
      if (const auto at = path.find(token); at != std::string::npos) path.replace(at, std::string(token).size(), token[1] == 'f' ? "exefile" : "S-1-5-18");
    }
    const RegistryRoot root = place.key.starts_with("HKCR") ? CR : place.key.starts_with("HKCU") ? CU : LM;
    if (!path.empty()) {
      EXPECT_NE(JudgeKeyDeletion(root, path), Free) << place.key;
    }
    if (place.keys) {
      EXPECT_EQ(JudgeKeyDeletion(root, path + "\\QRV Product"), Free) << place.key;
    }
    if (place.values) {
      EXPECT_EQ(JudgeValueChange(root, path), ValueVerdict::Changeable) << place.key;
    }
  }
}

// The one value of a protected tree the run changes itself: a device class's filter list.
TEST(RegistrySafety, OnlyAClassesFilterListsAreTheRunsToChangeInsideControlClass) {
  const std::wstring cls = L"SYSTEM\\ControlSet001\\Control\\Class\\{4d36e967-e325-11ce-bfc1-08002be10318}";
  EXPECT_TRUE(IsClassFilterList(LM, cls, L"UpperFilters"));
  EXPECT_TRUE(IsClassFilterList(LM, L"\\system\\currentcontrolset\\control\\class\\{x}\\", L"lowerfilters"));
  EXPECT_FALSE(IsClassFilterList(LM, cls, L"Class"));
  EXPECT_FALSE(IsClassFilterList(LM, cls + L"\\0000", L"UpperFilters"));
  EXPECT_FALSE(IsClassFilterList(LM, L"SYSTEM\\CurrentControlSet\\Control\\Class", L"UpperFilters"));
  EXPECT_FALSE(IsClassFilterList(CU, cls, L"UpperFilters"));
  EXPECT_FALSE(IsClassFilterList(LM, L"SYSTEM\\CurrentControlSet\\Services\\disk", L"UpperFilters"));
  EXPECT_TRUE(ProtectsValuesOf(LM, cls)) << "every other value of the class stays protected";
}
