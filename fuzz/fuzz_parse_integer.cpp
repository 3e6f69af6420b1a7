// ParseInteger on any text: it either gives a value or raises EConvertError with the
// fixed message, and it agrees with a plain reference for the decimal and hexadecimal forms.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/errors.h"
#include "platform/text/text_rules.h"

namespace {

bool AllDigits(std::string_view text, int base) {
  for (const char c : text) {
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!decimal && !(base == 16 && hex)) return false;
  }
  return !text.empty();
}

std::optional<std::int32_t> Reference(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  std::size_t prefix = 0;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    prefix = 2;
  } else if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    prefix = 1;
  }
  if (prefix > 0) {
    const std::string_view digits = text.substr(prefix);
    if (!AllDigits(digits, 16) || digits.size() > 8) return std::nullopt;
    std::uint32_t pattern = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), pattern, 16);
    return static_cast<std::int32_t>(pattern);
  }
  bool negative = false;
  if (text.starts_with('+') || text.starts_with('-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!AllDigits(text, 10)) return std::nullopt;
  long long magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const long long value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> expected = Reference(text);
  try {
    const std::int32_t value = ParseInteger(text);
    FUZZ_REQUIRE(expected.has_value());
    FUZZ_REQUIRE(*expected == value);
  } catch (const EConvertError& error) {
    FUZZ_REQUIRE(!expected.has_value());
    // The message is a C string: it ends at a NUL in the text.
    const std::string full = "'" + text + "' is not a valid integer value";
    FUZZ_REQUIRE(error.Message() == full.substr(0, full.find('\0')));
  }
  return 0;
}
