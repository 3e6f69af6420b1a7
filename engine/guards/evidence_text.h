#pragma once
// Reading the product's evidence out of the texts Windows keeps in its registry: the
// product's own names, class identifiers, and the program a firewall rule is for.
// Portable: texts only, nothing is looked up.
#include <string>
#include <string_view>

// True when the name is made of the product's and its maker's names alone (Velmora, Velmora
// Lab, QRV, ZDN, Corvantix, Anti-Virus), in any letter case, joined by blanks, dots, hyphens or
// underscores: "QRV", "Velmora Lab", "VelmoraLab.QRV", "ZDN_Corvantix". A product name inside
// another name ("Velmora Partner", "ZDN Shared Keep", "QRVX") is not.
bool IsMadeOfProductNames(std::wstring_view name);

// True for a class, interface or application identifier as the registry writes it:
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in hexadecimal digits.
bool IsGuidText(std::wstring_view text);

// The program a firewall rule is for: the "App=" field of a rule value
// ("v2.30|Action=Allow|Dir=In|App=C:\...\x.exe|Name=...|"); empty when the rule names none.
std::wstring_view FirewallRuleProgram(std::wstring_view rule);

// The packed form Windows Installer keeps a product or upgrade code in below its keys
// ("{12345678-ABCD-...}" as "87654321DCBA..."): each group's digits reversed, the last two
// groups byte by byte; empty for a text that is no identifier.
std::wstring PackedCodeOf(std::wstring_view guid);
