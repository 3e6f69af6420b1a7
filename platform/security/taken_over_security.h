#pragma once
// The security a key gets when the cleaner takes it over: a key that neither its access list
// nor the backup and restore privileges open for the administrators.
#include <optional>
#include <string>
#include <string_view>

// The entry put at the head of a taken-over key's access list: full control for
// Administrators, handed on to subkeys made later.
inline constexpr wchar_t kTakeOverEntry[] = L"(A;CI;KA;;;BA)";

// The descriptor (SDDL) with Administrators as owner and kTakeOverEntry first in its access
// list, group, the rest of the list and any label as they were; a list that controls nothing
// (NO_ACCESS_CONTROL) stays so. Nothing for text that is not a descriptor in SDDL's order
// (owner, group, access list, SACL) or names no access list.
std::optional<std::wstring> TakenOverSecurity(std::wstring_view sddl);
