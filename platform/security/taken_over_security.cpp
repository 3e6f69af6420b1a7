#include "platform/security/taken_over_security.h"

#include <cwctype>

namespace {

// One part of a descriptor's text ("O:", "G:", "D:", "S:") and its value.
struct SddlPart {
  wchar_t tag = 0;
  std::wstring_view value;
};

// A SID is a two-letter alias ("BA") or written out ("S-1-5-21-...").
std::size_t SidLength(std::wstring_view text) {
  if (text.starts_with(L"S-")) {
    std::size_t length = 2;
    while (length < text.size() && (std::iswdigit(text[length]) || text[length] == L'-')) ++length;
    return length;
  }
  return text.size() >= 2 && std::iswupper(text[0]) && std::iswupper(text[1]) ? 2 : 0;
}

// An access list's flags and entries: up to the next part outside the entries' brackets.
std::size_t ListLength(std::wstring_view text) {
  int depth = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == L'(') ++depth;
    if (text[at] == L')' && --depth < 0) return std::wstring_view::npos;
    // No flag (P, AI, AR, NO_ACCESS_CONTROL) holds a letter followed by a colon.
    if (depth == 0 && at + 1 < text.size() && text[at + 1] == L':' && std::wstring_view(L"OGDS").find(text[at]) != std::wstring_view::npos) {
      return at;
    }
  }
  return depth == 0 ? text.size() : std::wstring_view::npos;
}

}  // namespace

std::optional<std::wstring> TakenOverSecurity(std::wstring_view sddl) {
  SddlPart parts[4];
  constexpr wchar_t kOrder[] = L"OGDS";
  std::size_t next = 0;
  while (!sddl.empty()) {
    if (sddl.size() < 2 || sddl[1] != L':') return std::nullopt;
    const wchar_t tag = sddl[0];
    std::size_t slot = next;
    while (slot < 4 && kOrder[slot] != tag) ++slot;
    if (slot == 4) return std::nullopt;
    sddl.remove_prefix(2);
    const std::size_t length = tag == L'O' || tag == L'G' ? SidLength(sddl) : ListLength(sddl);
    if (length == std::wstring_view::npos || (length == 0 && (tag == L'O' || tag == L'G'))) return std::nullopt;
    parts[slot] = {tag, sddl.substr(0, length)};
    sddl.remove_prefix(length);
    next = slot + 1;
  }
  if (parts[2].tag == 0) return std::nullopt;  // the access list is what is taken over
  std::wstring out = L"O:BA";
  if (parts[1].tag) out.append(L"G:").append(parts[1].value);
  const std::wstring_view list = parts[2].value;
  if (list.find(L"NO_ACCESS_CONTROL") != std::wstring_view::npos) {
    out.append(L"D:").append(list);
  } else {
    // The flags (P, AI, AR) stay in front of the entries.
    const std::size_t entries = list.find(L'(');
    const std::wstring_view flags = list.substr(0, entries == std::wstring_view::npos ? list.size() : entries);
    out.append(L"D:").append(flags).append(kTakeOverEntry).append(list.substr(flags.size()));
  }
  if (parts[3].tag) out.append(L"S:").append(parts[3].value);
  return out;
}
