#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/security/taken_over_security.h"

namespace {

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// Keys as Windows and anti-virus products lock them, and what a take-over makes of each:
// Administrators own it and come first in its list; nothing else of it changes.
TEST(TakenOverSecurity, AdministratorsOwnTheKeyAndComeFirstWithEverythingElseKept) {
  const std::wstring ti = kTrustedInstaller;
  const struct {
    const char* standsFor;
    std::wstring before;
    std::optional<std::wstring> after;
  } cases[] = {
      {"a product's key open to SYSTEM alone", L"O:SYG:SYD:P(A;CI;KA;;;SY)",
       L"O:BAG:SYD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)"},
      {"a key like HKLM\\SAM: SYSTEM full, Administrators only read and change its list",
       L"O:BAG:SYD:P(A;CI;KA;;;SY)(A;CI;RCWD;;;BA)", L"O:BAG:SYD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;RCWD;;;BA)"},
      {"a TrustedInstaller-owned key, SIDs written out, inherited entries",
       L"O:" + ti + L"G:SYD:PAI(A;CIID;KA;;;" + ti + L")(A;CIID;KR;;;BU)",
       L"O:BAG:SYD:PAI(A;CI;KA;;;BA)(A;CIID;KA;;;" + ti + L")(A;CIID;KR;;;BU)"},
      {"a key with an integrity label", L"O:SYG:SYD:P(A;CI;KA;;;SY)S:(ML;;NW;;;HI)",
       L"O:BAG:SYD:P(A;CI;KA;;;BA)(A;CI;KA;;;SY)S:(ML;;NW;;;HI)"},
      {"an empty access list, no group", L"O:SYD:", L"O:BAD:(A;CI;KA;;;BA)"},
      {"a list that controls nothing stays so", L"O:SYD:NO_ACCESS_CONTROL", L"O:BAD:NO_ACCESS_CONTROL"},
      {"no text", L"", std::nullopt},
      {"no access list", L"O:SYG:SY", std::nullopt},
      {"an entry not closed", L"O:SYD:P(A;;KA;;;SY", std::nullopt},
      {"parts out of order", L"D:P(A;;KA;;;SY)O:SY", std::nullopt},
      {"no descriptor", L"not a descriptor", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.standsFor);
    EXPECT_EQ(TakenOverSecurity(c.before), c.after);
  }
}

}  // namespace
