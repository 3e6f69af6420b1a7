#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backup/registry_export.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/scratch_key.h"
#include "tests/support/wine_test_support.h"

using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

// The file as the backup writes it: UTF-16 LE with a byte order mark.
std::string Utf16File(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (const wchar_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// regedit /S (no questions) on the file; its exit code, or -1 when it did not end.
long ImportWithRegedit(const std::string& path) {
  std::wstring commandLine = L"regedit.exe /S \"" + WideFromAnsi(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return -1;
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &exitCode)) {
    return -1;
  }
  return static_cast<long>(exitCode);
}

// Wine's regedit ends string data (types 1, 2 and 7) that does not end in a NUL unit with
// one, written over an odd last byte: no form of the file brings such bytes back there.
// regedit on Windows takes hex(N) bytes as they are.
bool WineAddsNulUnit(const SavedValue& value) {
  const bool text = value.type == 1 || value.type == 2 || value.type == 7;
  const std::size_t size = value.data.size();
  return text && size > 0 && (size % 2 != 0 || value.data[size - 1] != 0 || value.data[size - 2] != 0);
}

}  // namespace

TEST(RegistryExportImport, RegeditGivesBackEveryTypeWithItsExactBytes) {
  ScratchKey scratch("reg_export");
  const std::wstring keyName = L"HKEY_CURRENT_USER\\" + WideFromAnsi(scratch.Path());
  std::string big;
  for (int i = 0; i < 300; ++i) big += static_cast<char>(i * 7);
  const std::vector<SavedValue> values = {
      {L"", 1, Bytes("\0\0"s)},
      {L"Text \"quoted\" \\", 1, Bytes("C\0:\0\\\0\"\0\0\0"s)},
      {L"Odd", 1, Bytes("a\0b"s)},
      {L"NoNul", 1, Bytes("a\0b\0"s)},
      {L"Lines", 1, Bytes("a\0\r\0\n\0\0\0"s)},
      {L"EmptyText", 1, {}},
      {L"Expand", 2, Bytes("%\0P\0%\0\0\0"s)},
      {L"Multi", 7, Bytes("a\0\0\0b\0\0\0\0\0"s)},
      {L"Binary", 3, Bytes("\xde\xad\xbe\xef"s)},
      {L"EmptyBinary", 3, {}},
      {L"Dword", 4, Bytes("\x78\x56\x34\xf2"s)},
      {L"ShortDword", 4, Bytes("\1\2"s)},
      {L"Qword", 11, Bytes("\1\2\3\4\5\6\7\x88"s)},
      {L"None", 0, {}},
      {L"Имя значения", 1, Bytes("\x16\x04\0\0"s)},
      {L"Long", 3, Bytes(big)},
  };
  const ScratchFolder folder("reg_export");
  const std::string file = folder / "registry.reg";
  WriteBytes(file, Utf16File(RegistryExportHeader() + RegistryExportKey(keyName, values) +
                             RegistryExportKey(keyName + L"\\Empty", {})));
  ASSERT_EQ(ImportWithRegedit(file), 0);

  UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WideFromAnsi(scratch.Path()).c_str(), 0, KEY_READ, key.Put()),
            ERROR_SUCCESS);
  for (const auto& expected : values) {
    const std::string name = Utf8FromWide(expected.name);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key.Get(), expected.name.c_str(), nullptr, &type, nullptr, &size), ERROR_SUCCESS)
        << name;
    std::vector<std::uint8_t> data(size);
    ASSERT_EQ(RegQueryValueExW(key.Get(), expected.name.c_str(), nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    data.resize(size);
    EXPECT_EQ(type, expected.type) << name;
    if (RunningUnderWine() && WineAddsNulUnit(expected)) {
      const std::size_t whole = expected.data.size() / 2 * 2;
      ASSERT_EQ(data.size(), expected.data.size() + 2) << name;
      EXPECT_TRUE(std::equal(expected.data.begin(), expected.data.begin() + whole, data.begin())) << name;
      EXPECT_EQ(data[whole] | data[whole + 1], 0) << name;
    } else {
      EXPECT_EQ(data, expected.data) << name;
    }
  }
  DWORD valueCount = 0;
  DWORD subkeyCount = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr, &valueCount,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(valueCount, values.size());
  EXPECT_EQ(subkeyCount, 1u);
  EXPECT_TRUE(scratch.Exists("Empty"));
}
