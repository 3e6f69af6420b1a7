#include "tests/support/hostile_rule_files.h"

#include <random>

#include "engine/rules/rule_file.h"

namespace {

constexpr std::size_t kTenMegabytes = 10u << 20;
constexpr std::size_t kRandomBytes = 8u << 20;
constexpr char kCtrlZ = 26;

std::string RandomBytes(bool withCtrlZ) {
  std::mt19937 generator(20240607);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(kRandomBytes, '\0');
  for (char& c : bytes) {
    int value = byte(generator);
    if (!withCtrlZ && value == kCtrlZ) value = kCtrlZ + 1;
    c = static_cast<char>(value);
  }
  return bytes;
}

}  // namespace

std::string StoredLines(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += ScrambleLine(line) + "\r\n";
  return bytes;
}

std::string StoredLinesAsGiven(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    for (const char c : line) {
      const auto b = static_cast<unsigned char>(c);
      bytes += b > 30 ? static_cast<char>(226 - b) : c;
    }
    bytes += "\r\n";
  }
  return bytes;
}

std::string MillionLineRuleFile() {
  static const char* const kSection[] = {
      "[Registry_Delete]",     "HKEY_CURRENT_USER\\Software\\CleanerTestsMissing\\Key", "[Registry_Delete_End]",
      "[Registry_Delete_Val]", "HKEY_CURRENT_USER\\Software\\CleanerTestsMissing=Value", "[Registry_Delete_Val_End]",
      "[Delete_Folder]",       "%Program%\\CleanerTestsMissing\\Folder",                 "[Delete_Folder_End]",
  };
  constexpr std::size_t kSectionLines = sizeof kSection / sizeof kSection[0];
  std::string bytes;
  bytes.reserve(48u << 20);
  for (std::size_t line = 1; line <= 1000000; ++line) {
    const std::size_t at = line % 1000;
    const std::string text = at < kSectionLines ? std::string(kSection[at]) + (at % 3 == 1 ? std::to_string(line) : "")
                                                : "Velmora QRV rule file, line " + std::to_string(line);
    bytes += ScrambleLine(text);
    bytes += "\r\n";
  }
  return bytes;
}

std::string TenMegabyteLineRuleFile() {
  const std::string filler(kTenMegabytes, 'Q');
  return StoredLines({
      "Velmora QRV rule file with lines of ten megabytes",
      filler,
      "[Registry_Delete]",
      "HKEY_CURRENT_USER\\Software\\CleanerTestsMissing\\" + filler,
      "[Registry_Delete_End]",
      "[Delete_Folder]",
      "%Program%\\CleanerTestsMissing\\" + filler,
      "[Delete_Folder_End]",
      "[Registry_Delete_Val]",
      "HKEY_CURRENT_USER\\Software\\CleanerTestsMissing=" + filler,
      "[Registry_Delete_Val_End]",
  });
}

std::string RandomByteRuleFile() { return RandomBytes(true); }

std::string RandomByteRuleFileWithoutCtrlZ() { return RandomBytes(false); }

std::string NulByteRuleFile() {
  const std::string nul(1, '\0');
  return StoredLinesAsGiven({
      std::string(64, '\0'),
      "[Registry_Delete]" + nul,
      nul + "[Registry_Delete]",
      "[Registry_Delete]",
      "HKEY_CURRENT_USER\\Software\\CleanerTestsMissing" + nul + "\\Key",
      nul,
      "[Registry_Delete_End]",
      "[Delete_File]",
      "C:\\CleanerTestsMissing" + nul + "\\file.dat",
      "[Delete_File_End]",
      std::string(1u << 20, '\0'),
  });
}

const std::vector<HostileRuleFile>& HostileRuleFiles() {
  static const std::vector<HostileRuleFile> files = {
      {"MillionLines", MillionLineRuleFile},
      {"TenMegabyteLines", TenMegabyteLineRuleFile},
      {"RandomBytes", RandomByteRuleFile},
      {"RandomBytesWithoutCtrlZ", RandomByteRuleFileWithoutCtrlZ},
      {"NulBytes", NulByteRuleFile},
  };
  return files;
}
