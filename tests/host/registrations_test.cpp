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
