#include <gtest/gtest.h>

#include <string>

#include "engine/guards/registrations.h"
#include "engine/guards/windows_files.h"

namespace {
constexpr auto CU = RegistryRoot::CurrentUser;
constexpr auto LM = RegistryRoot::LocalMachine;
constexpr auto CR = RegistryRoot::ClassesRoot;
}  // namespace

// The keys whose deletion removes a registration naming a program file, in the spellings
// the registry accepts; keys above or below one are not registrations themselves.
TEST(Registrations, KeysThatRegisterAProgramFile) {
  const struct {
    RegistryRoot root;
    const char* path;
    RegistrationKind kind;
  } cases[] = {
      {LM, "SYSTEM\\CurrentControlSet\\Services\\ZdnMon", RegistrationKind::Service},
      {LM, "\\system\\ControlSet001\\services\\KSecDD\\", RegistrationKind::Service},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\ZdnMon\\Parameters", RegistrationKind::None},
      {LM, "SYSTEM\\CurrentControlSet\\Services", RegistrationKind::None},
      {CU, "SYSTEM\\CurrentControlSet\\Services\\ZdnMon", RegistrationKind::None},
      {CR, "CLSID\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", RegistrationKind::ComClass},
      {LM, "SOFTWARE\\Classes\\CLSID\\{X}", RegistrationKind::ComClass},
      {CU, "Software\\Classes\\Wow6432Node\\CLSID\\{X}", RegistrationKind::ComClass},
      {CR, "CLSID\\{X}\\InprocServer32", RegistrationKind::None},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zdn.exe", RegistrationKind::AppPath},
      {CU, "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zdn.exe", RegistrationKind::AppPath},
      {LM, "SOFTWARE\\VelmoraLab", RegistrationKind::None},
  };
  for (const auto& c : cases) EXPECT_EQ(RegistrationOf(c.root, c.path), c.kind) << c.path;

  for (const char* run : {"Software\\Microsoft\\Windows\\CurrentVersion\\Run", "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                          "software\\microsoft\\windows\\currentversion\\policies\\explorer\\run"}) {
    EXPECT_TRUE(StartsProgramsFromValues(LM, run)) << run;
    EXPECT_TRUE(StartsProgramsFromValues(CU, run)) << run;
  }
  EXPECT_FALSE(StartsProgramsFromValues(LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Sub"));
  EXPECT_FALSE(StartsProgramsFromValues(CR, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
}

TEST(WindowsFiles, SystemDataFilesAndMicrosoftAsCompany) {
  for (const wchar_t* name : {L"hosts", L"HOSTS", L"win.ini", L"System.ini", L"lmhosts.sam", L"services"}) {
    EXPECT_TRUE(IsSystemDataFileName(name)) << name;
  }
  for (const wchar_t* name : {L"qrv.ini", L"hosts.zdn", L"zdnhook.dll", L"win.ini.bak", L""}) {
    EXPECT_FALSE(IsSystemDataFileName(name)) << name;
  }
  for (const wchar_t* company : {L"Microsoft Corporation", L"MICROSOFT", L"(c) microsoft corp."}) {
    EXPECT_TRUE(NamesMicrosoft(company)) << company;
  }
  for (const wchar_t* company : {L"Velmora Lab", L"Micro soft", L"Microsof", L""}) EXPECT_FALSE(NamesMicrosoft(company)) << company;
}

// The places where anti-virus products register inside Windows' own trees, and the evidence a
// key right below each needs; the places themselves and keys deeper or elsewhere need none here.
TEST(Registrations, PlacesWhereAKeyGoesOnlyWithTheProductsEvidence) {
  const struct {
    RegistryRoot root;
    const char* path;
    Evidence evidence;
  } cases[] = {
      {LM, "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\ZdnMon", Evidence::ProductService},
      {LM, "\\system\\ControlSet001\\Control\\SafeBoot\\Network\\ZdnMon\\", Evidence::ProductService},
      {LM, "SOFTWARE\\Microsoft\\AMSI\\Providers\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", Evidence::ProductClass},
      {LM, "SOFTWARE\\Wow6432Node\\Microsoft\\AMSI\\Providers\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", Evidence::ProductClass},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\{1}", Evidence::ProductClass},
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{1}", Evidence::ProductClass},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{1}", Evidence::ProductClass},
      {LM, "SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\ZdnS.exe", Evidence::ProductProgram},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal", Evidence::None},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\ZdnMon\\Sub", Evidence::None},
      {LM, "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\AlternateShell\\X", Evidence::None},
      {CU, "Software\\Microsoft\\AMSI\\Providers\\{1}", Evidence::None},
      {CR, "AMSI\\Providers\\{1}", Evidence::None},
      {LM, "SOFTWARE\\Classes\\Microsoft\\AMSI\\Providers\\{1}", Evidence::None},
  };
  for (const auto& c : cases) EXPECT_EQ(EvidenceNeededFor(c.root, c.path), c.evidence) << c.path;
}

// Which registration an entry in Windows' namespaces is judged by: the key right below the
// deepest place where products register, whatever lies below it in the entry; in a place
// where products keep values, each value. Outside Windows' namespaces nothing is asked.
TEST(Registrations, TheItemWhoseEvidenceAnEntryNeeds) {
  using K = EvidenceItemKind;
  const struct {
    RegistryRoot root;
    const char* path;
    K key;
    const char* keyItem;
    bool exactly;
    K value;
    const char* valueItem;
  } cases[] = {
      {CR, "CLSID\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", K::Key, "CLSID\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", true,
       K::Key, "CLSID\\{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}"},
      {CR, "CLSID\\{X}\\InprocServer32", K::Key, "CLSID\\{X}", false, K::Key, "CLSID\\{X}"},
      {LM, "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{X}\\InprocServer32", K::Key,
       "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{X}", false, K::Key, "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{X}"},
      {CR, "mailto", K::Key, "mailto", true, K::Key, "mailto"},
      {CR, "mailto\\shell\\open\\command", K::Key, "mailto", false, K::Key, "mailto"},
      {CR, "Interface\\{00000000-0000-0000-C000-000000000046}", K::Key, "Interface\\{00000000-0000-0000-C000-000000000046}", true,
       K::Key, "Interface\\{00000000-0000-0000-C000-000000000046}"},
      {CR, "*\\shellex\\ContextMenuHandlers\\ZDNScan", K::Key, "*\\shellex\\ContextMenuHandlers\\ZDNScan", true, K::Key,
       "*\\shellex\\ContextMenuHandlers\\ZDNScan"},
      {LM, "SYSTEM\\ControlSet001\\Services\\BITS\\Parameters", K::Key, "SYSTEM\\ControlSet001\\Services\\BITS", false,
       K::Key, "SYSTEM\\ControlSet001\\Services\\BITS"},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{GUID}", K::Key,
       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{GUID}", true, K::Key,
       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{GUID}"},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Other", K::Key,
       "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Other", true, K::Key,
       "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Other"},
      {LM, "SOFTWARE\\Clients\\StartMenuInternet\\QRV\\Capabilities", K::Key, "SOFTWARE\\Clients\\StartMenuInternet\\QRV",
       false, K::Key, "SOFTWARE\\Clients\\StartMenuInternet\\QRV"},
      // Each value of a place where products keep values is its own item.
      {CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", K::None, "", false, K::Value,
       "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {LM, "SOFTWARE\\RegisteredApplications", K::None, "", false, K::Value, "SOFTWARE\\RegisteredApplications"},
      {LM, "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION", K::None, "", false,
       K::Value, "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION"},
      {LM, "SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules", K::Key,
       "SYSTEM\\ControlSet001\\Services\\SharedAccess", false, K::Value, "SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules"},
      // Outside Windows' namespaces, and where no place lies above (the lists refuse those).
      {LM, "SOFTWARE\\VelmoraLab\\QRV", K::None, "", false, K::None, ""},
      {CU, "Network\\Z", K::None, "", false, K::None, ""},
      {LM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", K::None, "", false, K::None, ""},
  };
  for (const auto& c : cases) {
    const EvidenceItem key = EvidenceItemOfKey(c.root, c.path);
    EXPECT_EQ(key.kind, c.key) << c.path;
    EXPECT_EQ(key.keyPath, c.keyItem) << c.path;
    EXPECT_EQ(key.namedExactly, c.exactly) << c.path;
    const EvidenceItem value = EvidenceItemOfValue(c.root, c.path);
    EXPECT_EQ(value.kind, c.value) << c.path;
    EXPECT_EQ(value.keyPath, c.valueItem) << c.path;
  }
}

TEST(Registrations, TheFirewallsRulesAndWinlogonsNotificationsNeedTheProductsEvidence) {
  EXPECT_TRUE(KeepsProductValuesInWindowsTree(LM, "SYSTEM\\ControlSet002\\services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules"));
  EXPECT_FALSE(KeepsProductValuesInWindowsTree(LM, "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy"));
  EXPECT_FALSE(KeepsProductValuesInWindowsTree(CU, "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules"));
  EXPECT_EQ(EvidenceNeededFor(LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\ZdnNotify"), Evidence::ProductData);
  EXPECT_EQ(EvidenceNeededFor(LM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify"), Evidence::None);
  EXPECT_FALSE(MissingEvidenceText(Evidence::ProductData).empty());
}

// A registration's parts belong to it; an event log source below the event log's own service
// key is an item of its own, judged by what it names.
TEST(Registrations, TheRegistrationAKeyBelongsTo) {
  const struct {
    RegistryRoot root;
    const char* path;
    RegistrationKind kind;
    const char* registration;
  } cases[] = {
      {LM, "SYSTEM\\CurrentControlSet\\Services\\ZdnMon\\Parameters", RegistrationKind::Service,
       "SYSTEM\\CurrentControlSet\\Services\\ZdnMon"},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Parameters", RegistrationKind::Service,
       "SYSTEM\\CurrentControlSet\\Services\\EventLog"},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", RegistrationKind::Service,
       "SYSTEM\\CurrentControlSet\\Services\\EventLog"},
      {LM, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QRV", RegistrationKind::None, ""},
      {LM, "SYSTEM\\ControlSet001\\Services\\EventLog\\System\\QRV\\Sub", RegistrationKind::None, ""},
      {CR, "CLSID\\{X}\\InprocServer32", RegistrationKind::ComClass, "CLSID\\{X}"},
      {LM, "SOFTWARE\\VelmoraLab", RegistrationKind::None, ""},
  };
  for (const auto& c : cases) {
    const RegistrationKey key = RegistrationContaining(c.root, c.path);
    EXPECT_EQ(key.kind, c.kind) << c.path;
    EXPECT_EQ(key.keyPath, c.registration) << c.path;
  }
}
