#pragma once
// The product's names as words of a name. Evidence by name is a whole word: "QRV.ini",
// "ZdnMon", "qrv64.sys" and "Velmora Lab" carry one; "zdnhook.dll" and "VelmoraPartner" do not,
// as a name that merely begins with the product's letters may be anybody's.
#include <string_view>
#include <vector>

// The words of a name: runs of letters and digits, split where a lower-case letter meets a
// capital ("ZdnMon": Zdn, Mon), before the capital that begins a word after a run of capitals
// ("ZDNScan": ZDN, Scan), and between letters and digits ("qrv64": qrv, 64). Any other
// character ends a word; a character beyond ASCII is a letter without case.
std::vector<std::wstring_view> WordsOf(std::wstring_view name);

// True when a word of the name is the product's name or its maker's: QRV, ZDN, Velmora,
// Corvantix, in any letter case.
bool CarriesProductName(std::wstring_view name);

// True when a version resource's company names the product's maker (Velmora) as a word.
bool NamesProductCompany(std::wstring_view company);
