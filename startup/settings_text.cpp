#include "startup/settings_text.h"

#include <algorithm>

#include "platform/text/text_rules.h"
#include "platform/text/wide_text.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";

std::wstring WideFromUtf16(std::string_view bytes, bool bigEndian) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return out;
}

// Every LF that does not follow a CR becomes CR LF, so that the reader, which ends a line at
// CR, ends one there too.
std::string WithCarriageReturns(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

// The wide text in the ANSI code page, line by line, so that a failure names its line.
SettingsText FromWide(std::string_view stored, std::wstring_view wide, std::string encoding,
                      const AnsiConverter& toAnsi) {
  SettingsText result{std::string(stored), std::move(encoding), {}};
  std::string text;
  std::size_t line = 1;
  std::size_t start = 0;
  while (start <= wide.size()) {
    const std::size_t end = std::min(wide.find(L'\n', start), wide.size());
    const std::wstring_view part = wide.substr(start, end - start);
    const std::optional<std::string> ansi = toAnsi(part);
    if (!ansi) {
      result.problem = "line " + IntToText(static_cast<long long>(line)) + " of the " + result.encoding +
                       " text holds a character the ANSI code page has no byte for";
      return result;
    }
    text += *ansi;
    if (end < wide.size()) text += '\n';
    start = end + 1;
    ++line;
  }
  result.text = WithCarriageReturns(text);
  return result;
}

}  // namespace

SettingsText ReadableSettingsText(std::string_view stored, const AnsiConverter& toAnsi) {
  if (stored.starts_with(kUtf8Mark)) {
    const std::string_view body = stored.substr(kUtf8Mark.size());
    const std::wstring wide = WideFromUtf8(body);
    if (Utf8FromWide(wide) != body) return {std::string(stored), "UTF-8", "it starts with a UTF-8 byte-order mark, but the text after it is not UTF-8"};
    return FromWide(stored, wide, "UTF-8", toAnsi);
  }
  const bool little = stored.starts_with(kUtf16LittleMark);
  if (little || stored.starts_with(kUtf16BigMark)) {
    const std::string encoding = little ? "UTF-16 LE" : "UTF-16 BE";
    const std::string_view body = stored.substr(kUtf16LittleMark.size());
    if (body.size() % 2 != 0) return {std::string(stored), encoding, "it starts with a UTF-16 byte-order mark, but holds an odd number of bytes"};
    return FromWide(stored, WideFromUtf16(body, !little), encoding, toAnsi);
  }
  if (stored.find('\0') != std::string_view::npos) {
    return {std::string(stored), "ANSI",
            "it holds NUL bytes: UTF-16 text without a byte-order mark cannot be told from other text; save it as "
            "ANSI, or as UTF-8 or UTF-16 with a byte-order mark"};
  }
  return {WithCarriageReturns(stored), "ANSI", {}};
}

bool NamesSaferSetting(std::string_view stored) {
  std::string text;
  text.reserve(stored.size());
  for (const char c : stored) {
    if (c != '\0') text += c;
  }
  const std::string upper = UpperAscii(text);
  for (std::size_t at = upper.find("BACKUP"); at != std::string::npos; at = upper.find("BACKUP", at + 1)) {
    const std::size_t next = upper.find_first_not_of(" \t", at + 6);
    if (next != std::string::npos && upper[next] == '=') return true;
  }
  return false;
}
