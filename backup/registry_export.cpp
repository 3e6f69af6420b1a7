#include "backup/registry_export.h"

#include <cstdint>
#include <optional>

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
// regedit breaks a hex line once it reaches this length ("\" then ends it, so no line is
// longer than 78 characters) and goes on after two blanks.
constexpr std::size_t kHexLineLimit = 77;
constexpr wchar_t kHexContinuation[] = L"\\\r\n  ";

// A line break or NUL in a name would end the line inside its quotes: what followed would be
// read as lines of its own (a key header among them), so such names are never written.
bool CannotBeWritten(const std::wstring& name) {
  return name.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring::npos;
}

// Quoted with \\ and \" as regedit reads them; in the comments that stand for names that
// cannot be written, line breaks and NUL show as \r, \n and \0.
std::wstring Quoted(const std::wstring& text) {
  std::wstring out = L"\"";
  for (const wchar_t c : text) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'"': out += L"\\\""; break;
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\0': out += L"\\0"; break;
      default: out += c;
    }
  }
  return out + L"\"";
}

std::wstring LeftOut(const wchar_t* what, const std::wstring& name) {
  return std::wstring(L"; The ") + what + L" " + Quoted(name) +
         L" is left out: its name holds a line break or a NUL, which this format cannot carry." + kLineEnd;
}

// The text of REG_SZ bytes when the quoted form gives back exactly those bytes: UTF-16 units
// ending in the one NUL regedit adds, with no NUL or line break before it.
std::optional<std::wstring> QuotableText(const std::vector<std::uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::wstring text;
  for (std::size_t i = 0; i + 2 < data.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (unit == L'\0' || unit == L'\r' || unit == L'\n') return std::nullopt;
    text += unit;
  }
  if (data[data.size() - 2] != 0 || data.back() != 0) return std::nullopt;
  return text;
}

void AppendHex(std::wstring& out, std::uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

// hex: for REG_BINARY, hex(N): (N in hex without leading zeros) for any other type, then
// the bytes, wrapped as regedit wraps them. line holds the value's line so far.
void AppendHexForm(std::wstring& line, const SavedValue& value) {
  if (value.type == kRegBinary) {
    line += L"hex:";
  } else {
    int digits = 1;
    while (digits < 8 && (value.type >> (4 * digits)) != 0) ++digits;
    line += L"hex(";
    AppendHex(line, value.type, digits);
    line += L"):";
  }
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    AppendHex(line, value.data[i], 2);
    if (i + 1 == value.data.size()) break;
    line += L',';
    if (line.size() - lineStart >= kHexLineLimit) {
      line += kHexContinuation;
      lineStart = line.size() - 2;
    }
  }
}

std::wstring ValueLine(const SavedValue& value) {
  if (CannotBeWritten(value.name)) return LeftOut(L"value", value.name);
  std::wstring line = value.name.empty() ? L"@" : Quoted(value.name);
  line += L'=';
  if (const auto text = value.type == kRegSz ? QuotableText(value.data) : std::nullopt) {
    line += Quoted(*text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    line += L"dword:";
    AppendHex(line,
              static_cast<std::uint32_t>(value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                         static_cast<std::uint32_t>(value.data[3]) << 24),
              8);
  } else {
    AppendHexForm(line, value);
  }
  return line + kLineEnd;
}

}  // namespace

std::wstring RegistryExportHeader() {
  return std::wstring(L"Windows Registry Editor Version 5.00") + kLineEnd + kLineEnd;
}

std::wstring RegistryExportKey(const std::wstring& keyName, const std::vector<SavedValue>& values) {
  // Values written without their key's header would land in the key before it.
  if (CannotBeWritten(keyName)) return LeftOut(L"key", keyName) + kLineEnd;
  std::wstring text = L"[" + keyName + L"]" + kLineEnd;
  for (const auto& value : values) text += ValueLine(value);
  return text + kLineEnd;
}
