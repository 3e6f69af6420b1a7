#pragma once
// The settings file "QRV_RC.INI" beside the executable: optional, read once at start-up.
#include <string>

#include "engine/cleaner_context.h"

// Fills the settings fields of the state from the file beside the executable; does
// nothing when there is no such file. Errors (EConvertError, EInOutError) propagate with
// the entries read so far in effect, and the file is closed all the same.
void ReadSettingsFile(CleanerContext& context);
// The same for a settings file at the given path.
void ReadSettingsFileAt(CleanerContext& context, const std::string& path);
// FolderOfPath(ProgramPath()) + "\" + "QRV_RC.INI".
std::string SettingsFilePath();
