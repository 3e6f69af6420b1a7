#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/guards/product_words.h"
#include "engine/guards/windows_places.h"

// Words as an identifier reads them: separators, a lower-case letter before a capital, the
// capital that begins a word after a run of capitals, letters beside digits.
TEST(ProductWords, AreSplitAsIdentifiersRead) {
  const struct {
    std::wstring name;
    std::vector<std::wstring> words;
  } cases[] = {
      {L"qrv.ini", {L"qrv", L"ini"}},
      {L"ZdnMon", {L"Zdn", L"Mon"}},
      {L"ZDNScan", {L"ZDN", L"Scan"}},
      {L"qrv64_123.sys", {L"qrv", L"64", L"123", L"sys"}},
      {L"Velmora Lab", {L"Velmora", L"Lab"}},
      {L"VelmoraLab", {L"Velmora", L"Lab"}},
      {L"zdnhook.dll", {L"zdnhook", L"dll"}},
      {L"..--", {}},
      {L"", {}},
      {L"ZDN \u041C\u043E\u043D\u0438\u0442\u043E\u0440", {L"ZDN", L"\u041C\u043E\u043D\u0438\u0442\u043E\u0440"}},
  };
  for (const auto& c : cases) {
    std::vector<std::wstring> words;
    for (const auto word : WordsOf(c.name)) words.emplace_back(word);
    EXPECT_EQ(words, c.words) << std::string(c.name.begin(), c.name.end());
  }
}

// Evidence by name is the product's or its maker's name as a whole word, in any letter case;
// the same letters inside a longer word are anybody's.
TEST(ProductWords, OnlyAWholeWordIsTheProductsName) {
  const struct {
    std::wstring name;
    bool product;
  } cases[] = {
      {L"qrv.ini", true},          {L"QRV", true},
      {L"ZdnS.exe", true},         {L"ZDNScan", true},
      {L"Velmora Lab", true},      {L"VelmoraLab", true},
      {L"corvantix", true},        {L"qrv64.sys", true},
      {L"QRV_guard_test", true},   {L"zdnhook.dll", false},
      {L"Velmoran", false},        {L"xqrv.dll", false},
      {L"iexplore.exe", false},    {L"Qrvx", false},
      {L"", false},                {L"ZDN\u041C", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CarriesProductName(c.name), c.product) << std::string(c.name.begin(), c.name.end());
  }
  EXPECT_TRUE(NamesProductCompany(L"Velmora Lab Ltd."));
  EXPECT_TRUE(NamesProductCompany(L"VELMORA"));
  EXPECT_FALSE(NamesProductCompany(L"Microsoft Corporation"));
  EXPECT_FALSE(NamesProductCompany(L"QRV"));  // a product, not its maker
  EXPECT_FALSE(NamesProductCompany(L"Velmoran Software"));
}

// Windows' places: anything inside the Windows folder, and below Windows' own folders in
// Program Files, Common Files and ProgramData; the product's own folders there are not.
TEST(WindowsPlaces, AreTheWindowsFolderAndWindowsPartsOfTheProgramFolders) {
  const WindowsPlaces places{{"C:\\WINDOWS"},
                             {"C:\\PROGRAM FILES", "C:\\PROGRAM FILES\\COMMON FILES", "C:\\PROGRAMDATA",
                              "C:\\PROGRAM FILES (X86)"}};
  const struct {
    const char* path;
    bool windows;
  } cases[] = {
      {"C:\\Windows\\qrv.ini", true},
      {"c:\\windows\\system32\\zdnhook.dll", true},
      {"\\\\?\\C:\\Windows\\Temp\\Velmora", true},
      {"C:/Windows/Sysnative/drivers/x.sys", true},
      {"C:\\Windows", false},  // the folder itself is a protected folder
      {"C:\\Windowsx\\a", false},
      {"C:\\Program Files\\Internet Explorer\\iexplore.exe", true},
      {"C:\\Program Files (x86)\\Windows Media Player\\wmplayer.exe", true},
      {"C:\\Program Files\\Microsoft Office\\root\\addin.dll", true},
      {"C:\\Program Files\\WindowsApps\\x", true},
      {"C:\\Program Files\\Common Files\\Microsoft Shared\\ink\\x.dll", true},
      {"C:\\Program Files\\Common Files\\System\\ado\\x.dll", true},
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", true},
      {"C:\\ProgramData\\Package Cache\\{x}\\setup.exe", true},
      {"C:\\Program Files\\Internet Explorer", false},
      {"C:\\Program Files\\Velmora Lab\\QRV.exe", false},
      {"C:\\Program Files\\Common Files\\ZDN Shared Files\\zdnbase.dll", false},
      {"C:\\ProgramData\\Velmora Lab\\drivers", false},
      {"C:\\Program Files\\Wind Tools\\x", false},
      {"C:\\Program Files\\WINDOWSAPPS\\x", true},
      {"C:\\Program Files\\..\\Windows\\win.ini", true},
      {"D:\\Windows\\x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInWindowsPlace(c.path, places), c.windows) << c.path;
  EXPECT_TRUE(IsWindowsPartName("Microsoft.NET"));
  EXPECT_TRUE(IsWindowsPartName("windows defender"));
  EXPECT_FALSE(IsWindowsPartName("Velmora Lab"));
  EXPECT_FALSE(IsWindowsPartName(""));
}
