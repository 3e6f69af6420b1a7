#include "platform/text/text_rules.h"

#include <cstdint>

#include "platform/errors.h"

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return result;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

int PositionOf(std::string_view part, std::string_view text) {
  if (part.empty() || text.empty()) return 0;
  const std::size_t at = text.find(part);
  return at == std::string_view::npos ? 0 : static_cast<int>(at + 1);
}

namespace {

[[noreturn]] void RaiseNotAnInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t HexPrefixLength(std::string_view rest) {
  if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) return 1;
  if (rest.starts_with("0x") || rest.starts_with("0X")) return 2;
  return 0;
}

}  // namespace

std::int32_t ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::string_view rest = text.substr(i);

  if (const std::size_t prefix = HexPrefixLength(rest); prefix > 0) {
    const std::string_view digits = rest.substr(prefix);
    if (digits.empty() || digits.size() > 8) RaiseNotAnInteger(text);
    std::uint32_t pattern = 0;
    for (const char c : digits) {
      const int digit = HexDigitValue(c);
      if (digit < 0) RaiseNotAnInteger(text);
      pattern = (pattern << 4) | static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(pattern);
  }

  bool negative = false;
  std::string_view digits = rest;
  if (digits.starts_with('+') || digits.starts_with('-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) RaiseNotAnInteger(text);
  // The magnitude stays below 2^32, so leading zeros of any number cannot overflow it.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') RaiseNotAnInteger(text);
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) RaiseNotAnInteger(text);
  }
  if (!negative && magnitude == kLimit) RaiseNotAnInteger(text);
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::string IntToText(long long value) { return std::to_string(value); }

namespace {

// 0-based index of the last `\` or `:`, or npos. The program runs with a single-byte
// ANSI code page, so no separator byte can be the trail byte of a double-byte character.
std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\:"); }

}  // namespace

std::string FolderOfPath(std::string_view path) {
  const std::size_t last = LastSeparator(path);
  if (last == std::string_view::npos) return {};
  std::size_t length = last + 1;
  if (last > 0 && path[last] == '\\' && path[last - 1] != ':' && path[last - 1] != '\\') {
    length = last;
  }
  return std::string(path.substr(0, length));
}

std::string FileNameOfPath(std::string_view path) {
  const std::size_t last = LastSeparator(path);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}
