#include <gtest/gtest.h>

#include <string_view>

#include "engine/guards/evidence_text.h"

// A name is the product's by its words only when every word is one of the product's or its
// maker's names: a product name inside another name is another program's.
TEST(EvidenceText, ANameIsTheProductsOnlyWhenMadeOfItsNames) {
  const struct {
    std::wstring_view name;
    bool product;
  } cases[] = {
      {L"QRV", true},
      {L"zdn", true},
      {L"Velmora Lab", true},
      {L"VelmoraLab", true},
      {L"VelmoraLab.QRV", true},
      {L"Velmora-QRV", true},
      {L"ZDN_Corvantix", true},
      {L"Velmora Anti-Virus", true},
      {L"CORVANTIX", true},
      // Another program whose name carries the product's.
      {L"Velmora Partner", false},
      {L"ZDN Shared Keep", false},
      {L"QRV Update", false},
      {L"QRVX", false},
      {L"MyQRV", false},
      // The maker's companion words alone, or names written with empty words.
      {L"Lab", false},
      {L"Anti-Virus", false},
      {L"", false},
      {L"QRV.", false},
      {L" QRV", false},
      {L"QRV  ZDN", false},
      {L"QRV\\ZDN", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMadeOfProductNames(c.name), c.product) << std::wstring(c.name).size();
}

TEST(EvidenceText, IdentifiersAndFirewallRulePrograms) {
  for (const std::wstring_view guid : {L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}", L"{00000000-0000-0000-c000-000000000046}"}) {
    EXPECT_TRUE(IsGuidText(guid));
  }
  for (const std::wstring_view text : {L"5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15", L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A1}",
                                       L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A1G}", L"{5E2B7C41+9A3D-4F6E-8B10-2C7D4E9F0A15}",
                                       L"{5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15}x", L""}) {
    EXPECT_FALSE(IsGuidText(text));
  }
  const struct {
    std::wstring_view rule, program;
  } rules[] = {
      {L"v2.30|Action=Allow|Active=TRUE|Dir=In|App=C:\\Program Files\\Velmora Lab\\ZdnS.exe|Name=QRV|", L"C:\\Program Files\\Velmora Lab\\ZdnS.exe"},
      {L"v2.10|app=%ProgramFiles%\\Velmora Lab\\ZdnM.exe", L"%ProgramFiles%\\Velmora Lab\\ZdnM.exe"},
      {L"v2.30|Action=Allow|Dir=In|Protocol=6|LPort=445|Name=@FirewallAPI.dll,-28502|", L""},
      {L"v2.30|Application=C:\\x.exe|", L""},
      {L"v2.30|App=|", L""},
      {L"App=C:\\first.exe|App=C:\\second.exe", L"C:\\first.exe"},
  };
  for (const auto& c : rules) EXPECT_EQ(FirewallRuleProgram(c.rule), c.program) << std::wstring(c.rule).size();
}

// Windows Installer's packed codes, as its keys name a product (the demo's and Wine's own
// msiexec agree on these).
TEST(EvidenceText, PackedCodesOfWindowsInstaller) {
  EXPECT_EQ(PackedCodeOf(L"{12345678-ABCD-EF01-2345-6789ABCDEF01}"), L"87654321DCBA10FE32547698BADCFE10");
  EXPECT_EQ(PackedCodeOf(L"{5e2b7c41-9a3d-4f6e-8b10-2c7d4e9f0a15}"), L"14C7B2E5D3A9E6F4B801C2D7E4F9A051");
  EXPECT_EQ(PackedCodeOf(L"5E2B7C41-9A3D-4F6E-8B10-2C7D4E9F0A15"), L"");
  EXPECT_EQ(PackedCodeOf(L""), L"");
}
