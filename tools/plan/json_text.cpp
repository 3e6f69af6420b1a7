#include "tools/plan/json_text.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendEscape(std::string& out, char16_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

}  // namespace

std::string JsonQuoted(std::u16string_view text) {
  std::string out = "\"";
  for (const char16_t unit : text) {
    switch (unit) {
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      case u'\n': out += "\\n"; break;
      case u'\r': out += "\\r"; break;
      case u'\t': out += "\\t"; break;
      default:
        if (unit >= 0x20 && unit < 0x7F) {
          out += static_cast<char>(unit);
        } else {
          AppendEscape(out, unit);  // UTF-16 units: a pair stays a pair of escapes
        }
    }
  }
  return out + "\"";
}
