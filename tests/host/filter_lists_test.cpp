#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/run/filter_lists.h"

namespace {
using Names = std::vector<std::wstring>;
}  // namespace

// A class's filter list loses the service's name and nothing else: order, other names and
// the list's form stay; a list not naming it is not changed at all.
TEST(FilterLists, TheServicesNameLeavesTheListAndNothingElse) {
  const struct {
    Names list;
    const wchar_t* service;
    bool named;
    Names after;
  } cases[] = {
      {{L"partmgr", L"ZdnFlt", L"fvevol"}, L"ZdnFlt", true, {L"partmgr", L"fvevol"}},
      {{L"ZDNFLT"}, L"zdnflt", true, {}},
      {{L"ZdnFlt", L"kbdclass", L"ZdnFlt"}, L"ZdnFlt", true, {L"kbdclass"}},
      {{L"partmgr", L"ZdnFltKeep"}, L"ZdnFlt", false, {L"partmgr", L"ZdnFltKeep"}},
      {{}, L"ZdnFlt", false, {}},
  };
  for (const auto& c : cases) {
    const auto data = MultiStringData(c.list);
    ASSERT_EQ(MultiStringNames(data), c.list);
    const auto without = WithoutFilter(data, c.service);
    ASSERT_EQ(without.has_value(), c.named) << c.service;
    if (without) {
      EXPECT_EQ(MultiStringNames(*without), c.after);
      EXPECT_EQ(*without, MultiStringData(c.after));
    }
  }
}

// Data as other programs leave it: bytes after the list's end, without the list's last NUL,
// or with an odd byte.
TEST(FilterLists, ListsWithoutTheirEndsAreReadUpToWhereTheyStop) {
  const std::vector<unsigned char> trailing = {'a', 0, 0, 0, 0, 0, 'b', 0};
  EXPECT_EQ(MultiStringNames(trailing), (Names{L"a"}));
  const std::vector<unsigned char> noFinalNul = {'a', 0, 0, 0};
  EXPECT_EQ(MultiStringNames(noFinalNul), (Names{L"a"}));
  const std::vector<unsigned char> open = {'a', 0, 'b', 0, 'c'};
  EXPECT_EQ(MultiStringNames(open), (Names{L"ab"}));
  EXPECT_EQ(MultiStringNames({}), Names{});
}
