#include "engine/guards/product_words.h"

#include <array>

namespace {

bool IsUpper(wchar_t c) { return c >= L'A' && c <= L'Z'; }
bool IsLower(wchar_t c) { return (c >= L'a' && c <= L'z') || c > 127; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsWordCharacter(wchar_t c) { return IsUpper(c) || IsLower(c) || IsDigit(c); }

// Whether a new word begins at `at`, inside a run of word characters.
bool StartsWord(std::wstring_view name, std::size_t at) {
  const wchar_t before = name[at - 1], here = name[at];
  if (IsDigit(before) != IsDigit(here)) return true;
  if (IsLower(before) && IsUpper(here)) return true;
  return IsUpper(before) && IsUpper(here) && at + 1 < name.size() && IsLower(name[at + 1]) && name[at + 1] <= 127;
}

bool SameIgnoringCase(std::wstring_view word, std::wstring_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const wchar_t c = word[i] >= L'a' && word[i] <= L'z' ? static_cast<wchar_t>(word[i] - 0x20) : word[i];
    if (c != upper[i]) return false;
  }
  return true;
}

template <std::size_t N>
bool HasWord(std::wstring_view name, const std::array<std::wstring_view, N>& words) {
  for (const std::wstring_view word : WordsOf(name)) {
    for (const std::wstring_view wanted : words) {
      if (SameIgnoringCase(word, wanted)) return true;
    }
  }
  return false;
}

constexpr std::array<std::wstring_view, 4> kProductNames = {L"QRV", L"ZDN", L"VELMORA", L"CORVANTIX"};
constexpr std::array<std::wstring_view, 1> kCompanyNames = {L"VELMORA"};

}  // namespace

std::vector<std::wstring_view> WordsOf(std::wstring_view name) {
  std::vector<std::wstring_view> words;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= name.size(); ++at) {
    const bool inWord = at < name.size() && IsWordCharacter(name[at]);
    if (inWord && at > start && !StartsWord(name, at)) continue;
    if (at > start) words.push_back(name.substr(start, at - start));
    start = inWord ? at : at + 1;
  }
  return words;
}

bool CarriesProductName(std::wstring_view name) { return HasWord(name, kProductNames); }

bool NamesProductCompany(std::wstring_view company) { return HasWord(company, kCompanyNames); }
