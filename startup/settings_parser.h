#pragma once
// The settings file "QRV_RC.INI": sections [Mode], [Folder] and [Options] with key=value
// entries that preset the run mode, the folders and the three options.
#include "engine/cleaner_state.h"
#include "platform/line_reader.h"

// Applies every entry of the open settings file to the state. A SILENT value that is not an
// integer raises EConvertError; the entries read before it stay applied.
void ReadSettings(LineSource& file, CleanerState& state);
