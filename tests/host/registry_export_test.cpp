#include "backup/registry_export.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

constexpr wchar_t kKey[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\QRV";

}  // namespace

TEST(RegistryExport, EachTypeTakesTheFormThatGivesBackItsExactBytes) {
  // 40 bytes after an 11-character start: 22 fill the first line (77 characters and the
  // backslash), 18 the continued one.
  std::string forty;
  for (char i = 0; i < 40; ++i) forty += i;
  const struct {
    SavedValue value;
    std::wstring line;
  } cases[] = {
      {{L"Name", 1, Bytes("a\0b\0\0\0"s)}, LR"("Name"="ab")"},
      {{L"a\"b\\c", 1, Bytes("x\0\"\0\\\0\0\0"s)}, LR"("a\"b\\c"="x\"\\")"},
      {{L"", 1, Bytes("\0\0"s)}, LR"(@="")"},
      {{L"Имя", 1, Bytes("\x16\x04\0\0"s)}, L"\"Имя\"=\"\x0416\""},
      {{L"Odd", 1, Bytes("a\0b"s)}, L"\"Odd\"=hex(1):61,00,62"},
      {{L"NoNul", 1, Bytes("a\0"s)}, L"\"NoNul\"=hex(1):61,00"},
      {{L"TwoNuls", 1, Bytes("a\0\0\0\0\0"s)}, L"\"TwoNuls\"=hex(1):61,00,00,00,00,00"},
      {{L"Lf", 1, Bytes("\n\0\0\0"s)}, L"\"Lf\"=hex(1):0a,00,00,00"},
      {{L"Cr", 1, Bytes("\r\0\0\0"s)}, L"\"Cr\"=hex(1):0d,00,00,00"},
      {{L"Empty", 1, {}}, L"\"Empty\"=hex(1):"},
      {{L"D", 4, Bytes("\x78\x56\x34\xf2"s)}, L"\"D\"=dword:f2345678"},
      {{L"D3", 4, Bytes("\1\2\3"s)}, L"\"D3\"=hex(4):01,02,03"},
      {{L"Bin", 3, Bytes("\xde\xad"s)}, L"\"Bin\"=hex:de,ad"},
      {{L"Bin0", 3, {}}, L"\"Bin0\"=hex:"},
      {{L"Exp", 2, Bytes("%\0\0\0"s)}, L"\"Exp\"=hex(2):25,00,00,00"},
      {{L"Multi", 7, Bytes("a\0\0\0\0\0"s)}, L"\"Multi\"=hex(7):61,00,00,00,00,00"},
      {{L"Q", 11, Bytes("\1\0\0\0\0\0\0\x80"s)}, L"\"Q\"=hex(b):01,00,00,00,00,00,00,80"},
      {{L"None", 0, {}}, L"\"None\"=hex(0):"},
      {{L"Link", 6, Bytes("\\\0"s)}, L"\"Link\"=hex(6):5c,00"},
      {{L"Big", 0x12345, Bytes("\xff"s)}, L"\"Big\"=hex(12345):ff"},
      {{L"Wrap", 3, Bytes(forty)},
       L"\"Wrap\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
       L"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27"},
      // A line break or NUL in a name would end the line inside its quotes.
      {{L"a\nb\0\""s, 4, Bytes("\1\0\0\0"s)},
       LR"(; The value "a\nb\0\"" is left out: its name holds a line break or a NUL, which this format cannot carry.)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegistryExportKey(kKey, {c.value}), std::wstring(L"[") + kKey + L"]\r\n" + c.line + L"\r\n\r\n")
        << c.line.size();
  }
  EXPECT_EQ(RegistryExportHeader(), L"Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(RegistryExportKey(std::wstring(kKey) + L"\\x\r\n[HKEY_LOCAL_MACHINE\\Run]", {{L"v", 4, {}}}),
            L"; The key \"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\QRV\\\\x\\r\\n[HKEY_LOCAL_MACHINE\\\\Run]\" is left out: its "
            L"name holds a line break or a NUL, which this format cannot carry.\r\n\r\n");
}
