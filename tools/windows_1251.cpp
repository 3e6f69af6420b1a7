#include "tools/windows_1251.h"

#include <array>

#include "engine/rules/rule_file.h"
#include "platform/wide_text.h"

namespace {

// Bytes 0x80 to 0xBF; 0 where the code page defines no character (0x98).
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

std::optional<char> ByteOf(wchar_t unit) {
  const auto point = static_cast<char32_t>(unit);
  if (point < 0x80) return static_cast<char>(point);
  if (point >= 0x0410 && point <= 0x044F) return static_cast<char>(0xC0 + (point - 0x0410));
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] != 0 && kHighHalf[i] == point) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> Windows1251FromUtf8(std::string_view text) {
  std::string out;
  for (const wchar_t unit : WideFromUtf8(text)) {
    const auto byte = ByteOf(unit);
    if (!byte) return std::nullopt;
    out += *byte;
  }
  return out;
}

std::string StorableRemark(std::string_view text) {
  std::string out;
  for (const wchar_t unit : WideFromUtf8(text)) {
    const auto byte = ByteOf(unit);
    const bool storable = byte && static_cast<unsigned char>(*byte) >= 32 &&
                          FirstUnstorableColumn(std::string_view(&*byte, 1)) == 0;
    out += storable ? *byte : '?';
  }
  return out;
}
