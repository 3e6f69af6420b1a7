// Any bytes as a settings file: only EConvertError (a SILENT value that is not 0 or 1) may
// escape, each field is set only from its own section, the findings do not change what is
// read, and each finding names a line of the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/errors.h"
#include "platform/text/text_rules.h"
#include "startup/settings_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  MemoryByteSource source(bytes);
  LineReader reader(source);
  CleanerState state;
  const bool hasMode = bytes.find("[Mode]") != std::string::npos;
  std::vector<SettingsFinding> findings;
  try {
    ReadSettings(reader, state, &findings);
    FUZZ_REQUIRE(reader.AtEnd());
  } catch (const EConvertError& error) {
    FUZZ_REQUIRE(hasMode && UpperAscii(bytes).find("SILENT=") != std::string::npos);
    FUZZ_REQUIRE(error.Message().starts_with("SILENT="));
  }
  FUZZ_REQUIRE(state.RunMode == 0 || state.RunMode == 1);
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r')) + 1;
  for (const SettingsFinding& finding : findings) FUZZ_REQUIRE(finding.line >= 1 && finding.line <= lines);
  // Reading without findings gives the same state.
  MemoryByteSource again(bytes);
  LineReader plain(again);
  CleanerState same;
  try {
    ReadSettings(plain, same);
  } catch (const EConvertError&) {
  }
  FUZZ_REQUIRE(same.RunMode == state.RunMode && same.OptDelete == state.OptDelete &&
               same.FolderProgram == state.FolderProgram && same.OptKillProcess == state.OptKillProcess);
  // Each field changes only through its own section.
  const CleanerState initial;
  if (state.RunMode != initial.RunMode) FUZZ_REQUIRE(hasMode);
  if (!state.FolderProgram.empty() || !state.FolderShared.empty() || !state.FolderStart.empty()) {
    FUZZ_REQUIRE(bytes.find("[Folder]") != std::string::npos);
  }
  if (state.OptDelete || state.OptDelLink || !state.OptKillProcess) {
    FUZZ_REQUIRE(bytes.find("[Options]") != std::string::npos);
  }
  if (state.OptDelete || state.OptDelLink) FUZZ_REQUIRE(bytes.find("=1") != std::string::npos);
  FUZZ_REQUIRE(state.RuleFilePath == initial.RuleFilePath);
  FUZZ_REQUIRE(state.ProgramFolder.empty() && state.SharedFolder.empty());
  FUZZ_REQUIRE(!state.DeletePermission && !state.TraceLogOn);
  // The cleaner's own path, the stored form judged first (a one-byte code page stands for
  // ANSI): a file stops start-up only for a bad SILENT value, or when it cannot be read and
  // names a backup.
  CleanerState fromStored;
  const auto latin1 = [](std::wstring_view text) -> std::optional<std::string> {
    std::string out;
    for (const wchar_t unit : text) {
      if (unit > 0xFF) return std::nullopt;
      out += static_cast<char>(unit);
    }
    return out;
  };
  try {
    ReadStoredSettings(bytes, latin1, fromStored);
  } catch (const EConvertError& error) {
    FUZZ_REQUIRE(error.Message().starts_with("SILENT=") ||
                 (NamesSaferSetting(bytes) && error.Message().find("names BACKUP=") != std::string::npos));
  }
  FUZZ_REQUIRE(fromStored.RunMode == 0 || fromStored.RunMode == 1);
  FUZZ_REQUIRE(fromStored.ProgramFolder.empty() && !fromStored.DeletePermission);
  return 0;
}
