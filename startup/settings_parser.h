#pragma once
// The settings file "QRV_RC.INI": sections [Mode], [Folder] and [Options] with key=value
// entries that preset the run mode, the folders and the three options.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cleaner_state.h"
#include "platform/files/line_reader.h"
#include "startup/settings_text.h"

// A line of the settings file that does not read as its writer probably meant.
struct SettingsFinding {
  std::size_t line;  // 1-based, as the reader counts lines (a CR ends one)
  std::string message;
};

// Applies every entry of the open settings file to the state. A SILENT value that is not an
// integer raises EConvertError, as does one other than 0 and 1; the message names the key and
// the value, and the entries read before it stay applied. Each line that is not understood
// (a header in another letter case, a key with blanks or unknown, a switch whose value is not
// "1" or "0", a byte-order mark, a line feed without a carriage return) adds a finding when
// findings is given.
void ReadSettings(LineSource& file, CleanerState& state, std::vector<SettingsFinding>* findings = nullptr);

// Reads the stored bytes of a settings file as ReadableSettingsText makes them readable. A
// form read other than as ANSI text adds a finding that says so. Bytes that cannot be read
// without guessing add a finding and are read as they are stored; when they name BACKUP=,
// EConvertError ends start-up instead, before any change: the backup asked for would be lost.
void ReadStoredSettings(std::string_view stored, const AnsiConverter& toAnsi, CleanerState& state,
                        std::vector<SettingsFinding>* findings = nullptr);

// Every finding for the stored bytes of a settings file, the error that would end start-up
// among them, in line order.
std::vector<SettingsFinding> CheckSettingsText(std::string_view stored);

// True when the text reads as a settings file rather than a rule file: one of its lines is a
// settings header, whatever its letter case.
bool LooksLikeSettings(std::string_view stored);

// "Setting in effect: KEY=value", one for each setting of the file after the command line.
std::vector<std::string> SettingsInEffect(const CleanerState& state);
