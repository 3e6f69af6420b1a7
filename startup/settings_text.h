#pragma once
// How the stored bytes of the settings file become the lines the settings reader reads.
// Editors save "QRV_RC.INI" in more forms than the ANSI text with CR LF line ends it is
// written in; each form that says what it is is read right, and nothing is guessed:
//   - UTF-8 with a byte-order mark, UTF-16 (either byte order) with one: decoded, then held
//     in the ANSI code page like every other text of the program;
//   - line ends LF alone, CR alone or CR LF, mixed too: each ends a line;
//   - anything else is read as ANSI bytes, as it always was.
// UTF-16 without a byte-order mark (NUL bytes in the text), a byte-order mark followed by
// text that is not what it announces, or a character the ANSI code page has no byte for
// cannot be read without guessing: the text is then the stored bytes, and `problem` says why.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The program's code page from UTF-16: nothing when a character has no byte of its own.
using AnsiConverter = std::function<std::optional<std::string>(std::wstring_view)>;

struct SettingsText {
  std::string text;      // the lines to read, each ending in CR LF (the last may have none)
  std::string encoding;  // how it was read: "ANSI", "UTF-8", "UTF-16 LE" or "UTF-16 BE"
  std::string problem;   // why the bytes cannot be read without guessing; empty when they can
};

SettingsText ReadableSettingsText(std::string_view stored, const AnsiConverter& toAnsi);

// Whether the stored bytes name a setting that makes a run safer (BACKUP=), in any letter
// case and whatever the encoding: a file that names one and cannot be read must stop the
// run, which would otherwise go without the backup asked for.
bool NamesSaferSetting(std::string_view stored);
