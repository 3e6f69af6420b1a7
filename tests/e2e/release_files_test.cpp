#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/tool_output.h"
#include "tests/support/wine_test_support.h"

namespace {

struct Shipped {
  const char* file;
  const wchar_t* internalName;
  bool terminalServerAware;
};
const Shipped kShipped[] = {{"Cleaner.exe", L"Cleaner", true}, {"RuleTool.exe", L"RuleTool", false}};

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The version resource as Windows reads it: the fixed numbers and the texts.
struct VersionResource {
  bool found = false;
  DWORD fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
  std::wstring fileVersion, productVersion, internalName, originalFilename;
};

VersionResource ReadVersionResource(const std::string& path) {
  VersionResource resource;
  const std::wstring wide = Widened(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return resource;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return resource;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
    return resource;
  }
  resource.found = true;
  resource.fileMS = fixed->dwFileVersionMS;
  resource.fileLS = fixed->dwFileVersionLS;
  resource.productMS = fixed->dwProductVersionMS;
  resource.productLS = fixed->dwProductVersionLS;
  const auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) || value == nullptr) {
      return std::wstring();
    }
    return std::wstring(value);
  };
  resource.fileVersion = text(L"FileVersion");
  resource.productVersion = text(L"ProductVersion");
  resource.internalName = text(L"InternalName");
  resource.originalFilename = text(L"OriginalFilename");
  return resource;
}

// The headers of a PE image, read from the file as it lies.
struct ImageHeaders {
  IMAGE_FILE_HEADER file{};
  IMAGE_OPTIONAL_HEADER32 optional{};
  std::vector<std::string> sectionNames;
};

ImageHeaders ReadImageHeaders(const std::string& path) {
  ImageHeaders headers;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return headers;
  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  if (std::fread(&dos, sizeof dos, 1, file) == 1 && std::fseek(file, dos.e_lfanew, SEEK_SET) == 0 &&
      std::fread(&signature, sizeof signature, 1, file) == 1 && signature == IMAGE_NT_SIGNATURE &&
      std::fread(&headers.file, sizeof headers.file, 1, file) == 1 &&
      std::fread(&headers.optional, sizeof headers.optional, 1, file) == 1 &&
      std::fseek(file, headers.file.SizeOfOptionalHeader - static_cast<long>(sizeof headers.optional), SEEK_CUR) == 0) {
    for (WORD i = 0; i < headers.file.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (std::fread(&section, sizeof section, 1, file) != 1) break;
      headers.sectionNames.emplace_back(reinterpret_cast<const char*>(section.Name),
                                        strnlen(reinterpret_cast<const char*>(section.Name), IMAGE_SIZEOF_SHORT_NAME));
    }
  }
  std::fclose(file);
  return headers;
}

// "1.0.57.0 (abc1234)" -> its four numbers as the fixed part of the resource holds them.
bool NumbersOf(const std::string& text, DWORD& ms, DWORD& ls) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
  ms = (a << 16) | b;
  ls = (c << 16) | d;
  return true;
}

}  // namespace

TEST(ReleaseFiles, BothExecutablesCarryTheVersionOfTheBuildAndRuleToolPrintsIt) {
  const std::string version = CLEANER_VERSION_TEXT;
  DWORD ms = 0, ls = 0;
  ASSERT_TRUE(NumbersOf(version, ms, ls)) << version;
  for (const Shipped& shipped : kShipped) {
    const VersionResource resource = ReadVersionResource(BuildFolder() + "\\" + shipped.file);
    ASSERT_TRUE(resource.found) << shipped.file;
    EXPECT_EQ(resource.fileMS, ms) << shipped.file;
    EXPECT_EQ(resource.fileLS, ls) << shipped.file;
    EXPECT_EQ(resource.productMS, ms) << shipped.file;
    EXPECT_EQ(resource.productLS, ls) << shipped.file;
    EXPECT_EQ(resource.fileVersion, Widened(version)) << shipped.file;
    EXPECT_EQ(resource.productVersion, Widened(version)) << shipped.file;
    EXPECT_EQ(resource.internalName, shipped.internalName) << shipped.file;
    EXPECT_EQ(resource.originalFilename, Widened(shipped.file)) << shipped.file;
  }
  const ToolRun printed = RunCapturingOutput(BuildFolder() + "\\RuleTool.exe", "--version", BuildFolder());
  EXPECT_EQ(printed.exitCode, 0u);
  EXPECT_EQ(printed.output, version + "\n");
}

// No time stamp (two builds compare equal), no symbols or debug sections (shipped small),
// and the cleaner marked for Remote Desktop servers.
TEST(ReleaseFiles, ImagesAreStrippedWithoutTimeStampAndTheCleanerIsTerminalServerAware) {
  for (const Shipped& shipped : kShipped) {
    const ImageHeaders headers = ReadImageHeaders(BuildFolder() + "\\" + shipped.file);
    ASSERT_FALSE(headers.sectionNames.empty()) << shipped.file;
    EXPECT_EQ(headers.file.TimeDateStamp, 0u) << shipped.file;
    EXPECT_EQ(headers.file.PointerToSymbolTable, 0u) << shipped.file;
    EXPECT_EQ(headers.file.NumberOfSymbols, 0u) << shipped.file;
    for (const std::string& name : headers.sectionNames) {
      // Long section names such as ".debug_info" appear as "/4" and the like.
      EXPECT_FALSE(name.starts_with(".debug") || name.starts_with("/")) << shipped.file << ": " << name;
    }
    const bool aware = (headers.optional.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) != 0;
    EXPECT_EQ(aware, shipped.terminalServerAware) << shipped.file;
  }
}
