#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/rules/process_targets.h"

namespace {

int AsciiIgnoringCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    const unsigned char x = static_cast<unsigned char>(lower(a[i]));
    const unsigned char y = static_cast<unsigned char>(lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// An order under which only the first letter counts: texts equal under it are distinct
// texts, so the test sees which of them the list keeps.
int FirstLetterOnly(std::string_view a, std::string_view b) {
  return AsciiIgnoringCase(a.substr(0, 1), b.substr(0, 1));
}

using Texts = std::vector<std::string>;

}  // namespace

TEST(ProcessTargets, IsTargetLooksAtTheFileNamePartIgnoringAsciiCase) {
  const struct {
    const char* field;
    bool target;
  } cases[] = {
      {"ZdnM.exe", true},
      {"_ZdnM.exe", true},
      {"ZdnCC.exe", true},
      {"ZdnNCC.exe", true},
      {"ZdnS.exe", true},
      {"zdnm.exe", true},
      {"ZDNM.EXE", true},
      {"zDnNcC.ExE", true},
      {"C:\\Program Files\\Q\\ZDNM.EXE", true},
      {"C:\\WINDOWS\\SYSTEM\\zdns.exe", true},
      {"C:ZdnCC.exe", true},
      {"\\\\server\\share\\_zdnm.EXE", true},
      {"ZdnM.exe.bak", false},
      {"ZdnM.ex", false},
      {"xZdnM.exe", false},
      {"ZdnM", false},
      {"ZdnM.exe ", false},
      {"C:\\ZdnM.exe\\other.exe", false},
      {"C:\\Program Files\\Q\\", false},
      {"", false},
      {"explorer.exe", false},
      {"Zdn.exe", false},
      {"ZdnMM.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTarget(c.field), c.target) << c.field;
}

TEST(ProcessTargets, NonAsciiLettersAreNotFoldedWhenMatchingTargets) {
  // Only a to z change case: a Windows-1251 capital must not match its small letter.
  EXPECT_FALSE(IsTarget("Zdn\xCC.exe"));
  EXPECT_FALSE(IsTarget("ZDN\xEC.EXE"));
}

TEST(RunningExecutableList, SortedByTheGivenOrderWithoutDuplicates) {
  const struct {
    Texts fields;
    Texts list;
  } cases[] = {
      {{}, {}},
      {{"b.exe", "a.exe", "c.exe"}, {"a.exe", "b.exe", "c.exe"}},
      {{"ZdnM.exe", "ZDNM.EXE", "zdnm.exe"}, {"ZdnM.exe"}},
      {{"svchost.exe", "ZdnM.exe", "svchost.exe", "ZdnS.exe", "ZdnM.exe"},
       {"svchost.exe", "ZdnM.exe", "ZdnS.exe"}},
      {{"B.exe", "a.exe", "A.EXE", "b.EXE"}, {"a.exe", "B.exe"}},
      {{"C:\\Q\\ZdnM.exe", "ZdnM.exe"}, {"C:\\Q\\ZdnM.exe", "ZdnM.exe"}},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildRunningExecutableList(c.fields, AsciiIgnoringCase), c.list);
}

TEST(RunningExecutableList, KeepsTheFirstOfTextsTheOrderCallsEqual) {
  EXPECT_EQ(BuildRunningExecutableList({"beta", "alpha", "bravo", "apple", "charlie", "Bob"}, FirstLetterOnly),
            (Texts{"alpha", "beta", "charlie"}));
}

TEST(ProcessChoice, PrefersTheFirstMatchAfterTheSnapshotsFirstEntry) {
  const struct {
    Texts snapshot;
    const char* field;
    std::size_t chosen;
  } cases[] = {
      {{}, "ZdnM.exe", kNoProcess},
      {{"[System Process]", "explorer.exe"}, "ZdnM.exe", kNoProcess},
      {{"[System Process]", "ZdnM.exe", "ZdnM.exe"}, "ZdnM.exe", 1},
      {{"[System Process]", "a.exe", "zdnm.EXE", "ZdnM.exe"}, "ZDNM.exe", 2},
      {{"ZdnM.exe"}, "ZdnM.exe", 0},
      {{"ZdnM.exe", "a.exe"}, "ZdnM.exe", 0},
      {{"ZdnM.exe", "a.exe", "ZDNM.EXE", "zdnm.exe"}, "ZdnM.exe", 2},
      {{"C:\\Q\\ZdnM.exe", "ZdnM.exe"}, "ZdnM.exe", 1},
      {{"C:\\Q\\ZdnM.exe", "ZdnM.exe"}, "c:\\q\\ZDNM.exe", 0},
      {{"a.exe", "ZdnM.exe.bak"}, "ZdnM.exe", kNoProcess},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseProcessToEnd(c.snapshot, c.field), c.chosen) << c.field << " among " << c.snapshot.size();
  }
}
