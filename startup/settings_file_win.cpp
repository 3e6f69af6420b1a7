#include "startup/settings_file.h"

#include <windows.h>

#include <vector>

#include "engine/trace.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/line_file.h"
#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"
#include "startup/settings_parser.h"

std::string SettingsFilePath() {
  return FolderOfPath(ProgramPath()) + "\\" + kSettingsFileName;
}

// Every line that does not read as written gets a trace line, also when an error ends the
// reading; the error itself names the file, so a box or an event-log entry says where to look.
void ReadSettingsFileAt(CleanerContext& context, const std::string& path) {
  if (!IsExistingFile(path)) return;
  std::vector<SettingsFinding> findings;
  const auto traceFindings = [&] {
    for (const SettingsFinding& finding : findings) {
      TraceIfOn(context, path + ", line " + IntToText(static_cast<long long>(finding.line)) + ": " + finding.message);
    }
  };
  LineFile file;  // its destructor closes the file when an error escapes
  file.OpenForReading(path);
  const std::string stored = file.ReadStoredBytes();
  file.CloseAndFlush();
  try {
    ReadStoredSettings(stored, ExactAnsiFromWide, context.state, &findings);
  } catch (const EConvertError& error) {
    findings.pop_back();  // the error's own finding: the error handler writes it
    traceFindings();
    throw EConvertError(path + ": " + error.Message());
  }
  traceFindings();
}

void ReadSettingsFile(CleanerContext& context) { ReadSettingsFileAt(context, SettingsFilePath()); }
