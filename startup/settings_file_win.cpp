#include "startup/settings_file.h"

#include <windows.h>

#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/text_rules.h"
#include "startup/settings_parser.h"

std::string SettingsFilePath() {
  return FolderOfPath(ProgramPath()) + "\\" + kSettingsFileName;
}

void ReadSettingsFileAt(CleanerContext& context, const std::string& path) {
  if (!IsExistingFile(path)) return;
  LineFile file;  // its destructor closes the file when an error escapes
  file.OpenForReading(path);
  ReadSettings(file, context.state);
  file.CloseAndFlush();
}

void ReadSettingsFile(CleanerContext& context) { ReadSettingsFileAt(context, SettingsFilePath()); }
