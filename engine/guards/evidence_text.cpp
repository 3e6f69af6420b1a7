#include "engine/guards/evidence_text.h"

#include <string>
#include <utility>

namespace {

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

bool IsJoiner(wchar_t c) { return c == L' ' || c == L'.' || c == L'-' || c == L'_'; }

// The words a product's name is made of; "Lab", "Anti" and "Virus" only beside one of the names
// proper, which the caller asks for.
constexpr std::wstring_view kNamesProper[] = {L"VELMORA", L"VELMORALAB", L"QRV", L"ZDN", L"CORVANTIX"};
constexpr std::wstring_view kCompanions[] = {L"LAB", L"ANTI", L"VIRUS", L"ANTIVIRUS"};

template <std::size_t N>
bool IsOneOf(std::wstring_view word, const std::wstring_view (&words)[N]) {
  for (const auto known : words) {
    if (word == known) return true;
  }
  return false;
}

bool IsHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (UpperAscii(c) >= L'A' && UpperAscii(c) <= L'F'); }

}  // namespace

bool IsMadeOfProductNames(std::wstring_view name) {
  bool proper = false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsJoiner(name[end])) ++end;
    std::wstring word;
    for (std::size_t i = start; i < end; ++i) word += UpperAscii(name[i]);
    // An empty word is two joiners in a row, or one at either end: no name is written so.
    if (word.empty()) return false;
    const bool isProper = IsOneOf(word, kNamesProper);
    if (!isProper && !IsOneOf(word, kCompanions)) return false;
    proper = proper || isProper;
    start = end + 1;
  }
  return proper;
}

bool IsGuidText(std::wstring_view text) {
  constexpr std::wstring_view kForm = L"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (text.size() != kForm.size()) return false;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    if (kForm[i] == L'X' ? !IsHex(text[i]) : text[i] != kForm[i]) return false;
  }
  return true;
}

std::wstring_view FirewallRuleProgram(std::wstring_view rule) {
  std::size_t start = 0;
  while (start < rule.size()) {
    std::size_t end = rule.find(L'|', start);
    if (end == std::wstring_view::npos) end = rule.size();
    const std::wstring_view field = rule.substr(start, end - start);
    if (field.size() > 4 && UpperAscii(field[0]) == L'A' && UpperAscii(field[1]) == L'P' && UpperAscii(field[2]) == L'P' &&
        field[3] == L'=') {
      return field.substr(4);
    }
    start = end + 1;
  }
  return {};
}

std::wstring PackedCodeOf(std::wstring_view guid) {
  if (!IsGuidText(guid)) return {};
  std::wstring packed;
  // The first three groups reversed whole.
  for (const auto& [start, length] : {std::pair<std::size_t, std::size_t>{1, 8}, {10, 4}, {15, 4}}) {
    for (std::size_t i = start + length; i-- > start;) packed += UpperAscii(guid[i]);
  }
  // The last two groups byte by byte, each byte's two digits swapped.
  for (const auto& [start, length] : {std::pair<std::size_t, std::size_t>{20, 4}, {25, 12}}) {
    for (std::size_t i = start; i < start + length; i += 2) {
      packed += UpperAscii(guid[i + 1]);
      packed += UpperAscii(guid[i]);
    }
  }
  return packed;
}
