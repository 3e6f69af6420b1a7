#include "startup/settings_parser.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

namespace {

enum class Section { Mode, Folder, Options };

struct SectionLines {
  Section section;
  std::string_view header;
  std::string_view endLine;
  std::vector<std::string_view> keys;
};

const SectionLines kSections[] = {
    {Section::Mode, "[Mode]", "[End_Mode]", {"SILENT"}},
    {Section::Folder, "[Folder]", "[End_Folder]", {"PROGRAM", "SHARED", "START", "BACKUP"}},
    {Section::Options, "[Options]", "[End_Options]", {"DELETE", "DEL_LINK", "KILLPROCESS", "ALL_USERS", "DELETE_AT_RESTART"}},
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int RunModeOf(const std::string& value) {
  int mode = 0;
  try {
    mode = ParseInteger(value);
  } catch (const EConvertError& error) {
    throw EConvertError("SILENT=" + value + ": " + error.Message());
  }
  if (mode != 0 && mode != 1) throw EConvertError("SILENT=" + value + ": the value must be 0 or 1");
  return mode;
}

void ApplyEntry(Section section, const std::string& key, const std::string& value, CleanerState& state) {
  switch (section) {
    case Section::Mode:
      if (key == "SILENT") state.RunMode = RunModeOf(value);
      break;
    case Section::Folder:
      if (key == "PROGRAM") state.FolderProgram = value;
      if (key == "SHARED") state.FolderShared = value;
      if (key == "START") state.FolderStart = value;
      if (key == "BACKUP") state.FolderBackup = value;
      break;
    case Section::Options:
      if (key == "DELETE") state.OptDelete = value == "1";
      if (key == "DEL_LINK") state.OptDelLink = value == "1";
      if (key == "KILLPROCESS") state.OptKillProcess = value == "1";
      if (key == "ALL_USERS") state.OptAllUsers = value == "1";
      // Adds to the switch /R: another value does not take back what the command line asked.
      if (key == "DELETE_AT_RESTART" && value == "1") state.DeleteAtRestart = true;
      break;
  }
}

// Notes the lines that do not read as written. Reading itself follows the file's rules
// exactly; this only says where they differ from what was probably meant.
class Findings {
 public:
  explicit Findings(std::vector<SettingsFinding>* out) : out_(out) {}

  std::string Read(LineSource& file) {
    std::string line = file.ReadLine();
    ++number_;
    if (out_ == nullptr) return line;
    if (number_ == 1 && line.starts_with(kByteOrderMark)) {
      Add("starts with a UTF-8 byte-order mark: the first line is not read as written; save the file without it");
    }
    const auto feeds = std::count(line.begin(), line.end(), '\n');
    if (feeds > 0) {
      Add("holds " + IntToText(static_cast<long long>(feeds)) +
          " line feed(s) without a carriage return: the text up to the next CR reads as this one line; "
          "lines must end with CR LF");
    }
    return line;
  }

  void Outside(const std::string& line) {
    // A line holding line feeds has its finding already.
    if (out_ == nullptr || Trimmed(line).empty() || line.find('\n') != std::string::npos) return;
    std::string_view bare = Trimmed(line);
    if (number_ == 1 && bare.starts_with(kByteOrderMark)) bare.remove_prefix(kByteOrderMark.size());
    for (const SectionLines& lines : kSections) {
      for (const std::string_view marker : {lines.header, lines.endLine}) {
        if (line == marker) return Add(Quoted(line) + " ends no open section: the line is ignored");
        if (EqualsIgnoringAsciiCase(bare, marker)) {
          return Add(Quoted(line) + " is not " + Quoted(marker) +
                     " (headers match only exactly, letter case and blanks included): the line is ignored");
        }
      }
    }
    Add(Quoted(line) + " is outside every section: the line is ignored");
  }

  void Entry(const SectionLines& lines, const std::string& line, const std::string& key, const std::string& value,
             bool hasEquals) {
    if (out_ == nullptr || Trimmed(line).empty()) return;
    const std::string in = " in " + Quoted(lines.header);
    if (!hasEquals) return Add(Quoted(line) + in + " is not an entry KEY=value: the line is ignored");
    const bool known = std::find(lines.keys.begin(), lines.keys.end(), key) != lines.keys.end();
    if (!known) {
      const std::string bare = UpperAscii(Trimmed(key));
      if (std::find(lines.keys.begin(), lines.keys.end(), bare) != lines.keys.end()) {
        return Add("the key " + Quoted(key) + in + " has blanks around it: it is not " + Quoted(bare) +
                   " and the line is ignored");
      }
      return Add("the key " + Quoted(key) + " is not a setting of " + Quoted(lines.header) + ": the line is ignored");
    }
    if (value.empty()) return Add(Quoted(line) + in + " has no value: the line is ignored");
    if (lines.section == Section::Options && value != "1" && value != "0") {
      Add(Quoted(line) + ": only \"1\" switches " + key + " on; the value " + Quoted(value) + " reads as off");
    }
  }

  void Error(const std::string& message) {
    if (out_ != nullptr) Add(message);
  }

 private:
  void Add(std::string message) { out_->push_back({number_, std::move(message)}); }

  std::vector<SettingsFinding>* out_;
  std::size_t number_ = 0;
};

// Reads entries up to the section's end line, or to the end of the file when it has none.
void ReadSection(LineSource& file, const SectionLines& lines, CleanerState& state, Findings& findings) {
  while (!file.AtEnd()) {
    const std::string line = findings.Read(file);
    if (line == lines.endLine) return;
    const int equals = PositionOf("=", line);
    const auto keyLength = static_cast<std::size_t>(equals > 0 ? equals - 1 : 0);
    const std::string key = equals == 0 ? std::string() : UpperAscii(std::string_view(line).substr(0, keyLength));
    const std::string value = equals == 0 ? std::string() : line.substr(keyLength + 1);
    findings.Entry(lines, line, key, value, equals != 0);
    if (equals == 0) continue;
    if (value.empty()) continue;
    try {
      ApplyEntry(lines.section, key, value, state);
    } catch (const EConvertError& error) {
      findings.Error(error.Message() + ": the cleaner ends start-up here with exit code 2");
      throw;
    }
  }
}

std::string OnOff(bool on) { return on ? "1" : "0"; }

}  // namespace

void ReadSettings(LineSource& file, CleanerState& state, std::vector<SettingsFinding>* found) {
  Findings findings(found);
  while (!file.AtEnd()) {
    const std::string line = findings.Read(file);
    const auto section = std::find_if(std::begin(kSections), std::end(kSections),
                                      [&](const SectionLines& lines) { return line == lines.header; });
    if (section == std::end(kSections)) {
      findings.Outside(line);
      continue;
    }
    ReadSection(file, *section, state, findings);
  }
}

void ReadStoredSettings(std::string_view stored, const AnsiConverter& toAnsi, CleanerState& state,
                        std::vector<SettingsFinding>* findings) {
  const SettingsText readable = ReadableSettingsText(stored, toAnsi);
  if (!readable.problem.empty() && NamesSaferSetting(stored)) {
    const std::string message = "the file cannot be read without guessing (" + readable.problem +
                                ") and it names BACKUP=: the cleaner ends start-up here with exit code 2";
    if (findings != nullptr) findings->push_back({1, message});
    throw EConvertError(message);
  }
  if (findings != nullptr && !readable.problem.empty()) {
    findings->push_back({1, "the file cannot be read without guessing (" + readable.problem +
                                "): its bytes are read as they are stored"});
  } else if (findings != nullptr && readable.encoding != "ANSI") {
    findings->push_back({1, "read as " + readable.encoding + " text: it starts with a byte-order mark"});
  }
  MemoryByteSource source{readable.text};
  LineReader reader(source);
  ReadSettings(reader, state, findings);
}

std::vector<SettingsFinding> CheckSettingsText(std::string_view stored) {
  std::vector<SettingsFinding> findings;
  CleanerState state;
  // An error ends the reading as it ends start-up; the reading has noted it. The tool shows
  // the lines in UTF-8, which holds every character.
  try {
    ReadStoredSettings(stored, [](std::wstring_view text) { return std::optional(Utf8FromWide(text)); }, state,
                       &findings);
  } catch (const EConvertError&) {
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const SettingsFinding& a, const SettingsFinding& b) { return a.line < b.line; });
  return findings;
}

bool LooksLikeSettings(std::string_view stored) {
  MemoryByteSource source{
      ReadableSettingsText(stored, [](std::wstring_view text) { return std::optional(Utf8FromWide(text)); }).text};
  LineReader reader(source);
  while (!reader.AtEnd()) {
    const std::string read = reader.ReadLine();
    std::string_view line = Trimmed(read);
    if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    for (const SectionLines& lines : kSections) {
      if (EqualsIgnoringAsciiCase(line, lines.header)) return true;
    }
  }
  return false;
}

std::vector<std::string> SettingsInEffect(const CleanerState& state) {
  const std::string prefix = "Setting in effect: ";
  return {
      prefix + "SILENT=" + IntToText(state.RunMode),
      prefix + "PROGRAM=" + state.FolderProgram,
      prefix + "SHARED=" + state.FolderShared,
      prefix + "START=" + state.FolderStart,
      // The folder in effect, whether /BACKUP= or the file named it.
      prefix + "BACKUP=" + (state.BackupFolder.empty() ? state.FolderBackup : state.BackupFolder),
      prefix + "DELETE=" + OnOff(state.OptDelete),
      prefix + "DEL_LINK=" + OnOff(state.OptDelLink),
      prefix + "KILLPROCESS=" + OnOff(state.OptKillProcess),
      prefix + "ALL_USERS=" + OnOff(state.OptAllUsers),
      prefix + "DELETE_AT_RESTART=" + OnOff(state.DeleteAtRestart),
  };
}
