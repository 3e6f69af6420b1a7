#include "engine/rules/rule_text_code.h"

#include <array>

#include "platform/text/wide_text.h"

namespace {

// Bytes 0x80 to 0xBF (0x98, which the code page leaves undefined, as Windows reads it);
// from 0xC0 on, the letters А to я follow in order (U+0410 to U+044F).
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char16_t CharacterOf(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return static_cast<char16_t>(0x0410 + (byte - 0xC0));
  return kUpperHalf[byte - 0x80];
}

constexpr unsigned char kUndefinedByte = 0x98;

}  // namespace

std::optional<char> Windows1251ByteOf(wchar_t unit) {
  const auto point = static_cast<char32_t>(unit);
  if (point < 0x80) return static_cast<char>(point);
  if (point >= 0x0410 && point <= 0x044F) return static_cast<char>(0xC0 + (point - 0x0410));
  for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
    if (i + 0x80 != kUndefinedByte && kUpperHalf[i] == point) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

bool RuleTextNeedsRecoding(unsigned ansiCodePage) { return ansiCodePage == kUtf8CodePage; }

std::string Utf8FromWindows1251(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const char16_t unit = CharacterOf(static_cast<unsigned char>(c));
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | (unit >> 6));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (unit >> 12));
      out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Windows1251FromUtf8(std::string_view text) {
  std::string out;
  for (const wchar_t unit : WideFromUtf8(text)) {
    const auto byte = Windows1251ByteOf(unit);
    if (!byte) return std::nullopt;
    out += *byte;
  }
  return out;
}
