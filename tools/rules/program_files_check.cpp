#include "tools/rules/program_files_check.h"

#include <filesystem>
#include <system_error>

#include "platform/text/text_rules.h"

namespace {

constexpr std::string_view kNative = "\\PROGRAM FILES";
constexpr std::string_view kX86 = "\\PROGRAM FILES (X86)";

// Whether upper holds name right after the drive ("X:") and before a `\` or the end.
bool NamesAfterDrive(std::string_view upper, std::string_view name) {
  if (upper.size() < 2 || upper[1] != ':' || upper.substr(2, name.size()) != name) return false;
  return upper.size() == 2 + name.size() || upper[2 + name.size()] == '\\';
}

}  // namespace

std::optional<std::string> OtherProgramFilesPath(std::string_view entry) {
  const std::string upper = UpperAscii(entry);
  const std::string drive(entry.substr(0, 2));
  if (NamesAfterDrive(upper, kX86)) return drive + "\\Program Files" + std::string(entry.substr(2 + kX86.size()));
  if (NamesAfterDrive(upper, kNative)) {
    return drive + "\\Program Files (x86)" + std::string(entry.substr(2 + kNative.size()));
  }
  return std::nullopt;
}

PathProbe MachinePathProbe() {
  return [](const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error);
  };
}
