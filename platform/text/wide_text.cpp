#include "platform/text/wide_text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t point) {
  if (point > 0x10FFFF) point = kReplacement;
  if (point < 0x80) {
    out += static_cast<char>(point);
    return;
  }
  const int continuation = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
  constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLead[continuation] | (point >> (6 * continuation)));
  for (int i = continuation - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((point >> (6 * i)) & 0x3F));
}

void AppendUtf16(std::wstring& out, char32_t point) {
  if (point < 0x10000) {
    out += static_cast<wchar_t>(point);
    return;
  }
  point -= 0x10000;
  out += static_cast<wchar_t>(0xD800 + (point >> 10));
  out += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
}

// The well-formed byte sequences: after the lead byte, the range its first continuation
// byte must fall in (narrower than 80..BF where overlong forms, surrogates or values above
// U+10FFFF would begin).
struct LeadByte {
  int continuation;  // -1: not a lead byte
  unsigned char low;
  unsigned char high;
};

LeadByte LeadOf(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {1, 0x80, 0xBF};
  if (byte == 0xE0) return {2, 0xA0, 0xBF};
  if (byte == 0xED) return {2, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {2, 0x80, 0xBF};
  if (byte == 0xF0) return {3, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {3, 0x80, 0xBF};
  if (byte == 0xF4) return {3, 0x80, 0x8F};
  return {-1, 0, 0};
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i++]);
    if (byte < 0x80) {
      out += static_cast<wchar_t>(byte);
      continue;
    }
    const LeadByte lead = LeadOf(byte);
    if (lead.continuation < 0) {
      out += static_cast<wchar_t>(kReplacement);
      continue;
    }
    char32_t point = byte & (0x3F >> lead.continuation);
    int taken = 0;
    for (; taken < lead.continuation && i < text.size(); ++taken, ++i) {
      const auto next = static_cast<unsigned char>(text[i]);
      const bool inRange = taken == 0 ? next >= lead.low && next <= lead.high : (next & 0xC0) == 0x80;
      if (!inRange) break;
      point = (point << 6) | (next & 0x3F);
    }
    // A sequence cut short counts once, and the byte that cut it starts afresh.
    AppendUtf16(out, taken == lead.continuation ? point : kReplacement);
  }
  return out;
}

std::string Utf8FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<char32_t>(text[i]);
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
      const auto low = static_cast<char32_t>(text[++i]);
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else {
      AppendUtf8(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
    }
  }
  return out;
}
