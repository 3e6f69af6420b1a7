#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/run/deletion.h"
#include "tests/support/engine_test_support.h"
#include "tests/support/wine_test_support.h"

namespace {

// Host links made with the host's ln through Wine; removed, as links, when this object
// goes, which is before the scratch folder that holds them.
class HostLinks {
 public:
  HostLinks() = default;
  HostLinks(const HostLinks&) = delete;
  HostLinks& operator=(const HostLinks&) = delete;
  ~HostLinks() {
    for (const auto& link : links_) RemoveHostSymlink(link);
  }
  bool Make(const std::string& target, const std::string& link) {
    links_.push_back(link);
    return MakeHostSymlink(target, link);
  }

 private:
  std::vector<std::string> links_;
};

}  // namespace

// A link to its own folder and a link to the folder above the tree: followed, either would
// make the deletion endless or reach outside the tree. The deletion ends, the files of the
// tree are gone, everything the links point to outside the tree is kept, and the links
// that stay are listed.
TEST(HardeningLinkLoop, LinksToTheirOwnFolderAndAboveTheTreeEndTheDeletionAndTheirTargetsSurvive) {
  if (!RunningUnderWine()) GTEST_SKIP() << "host symbolic links are made through Wine; not under Wine";
  ScratchFolder scratch("hard_loop");
  const std::string tree = scratch / "Tree";
  WriteBytes(scratch / "Canary\\keep.txt", "keep");
  WriteBytes(scratch / "beside.txt", "beside");
  WriteBytes(tree + "\\A\\a.txt", "a");
  WriteBytes(tree + "\\B\\b.txt", "b");
  WriteBytes(tree + "\\top.txt", "top");
  const std::string loop = tree + "\\A\\loop";
  const std::string up = tree + "\\B\\up";
  HostLinks links;
  ASSERT_TRUE(links.Make(tree + "\\A", loop));
  ASSERT_TRUE(links.Make(scratch.Path(), up));
  ASSERT_TRUE(Exists(loop + "\\a.txt")) << "the loop does not lead back into its folder";
  ASSERT_TRUE(Exists(up + "\\Canary\\keep.txt")) << "the link does not lead above the tree";

  EngineTestContext test;
  DeleteFolderTree(test.context, tree);

  EXPECT_EQ(ReadBytes(scratch / "Canary\\keep.txt"), "keep");
  EXPECT_EQ(ReadBytes(scratch / "beside.txt"), "beside");
  for (const char* gone : {"\\A\\a.txt", "\\B\\b.txt", "\\top.txt"}) {
    EXPECT_FALSE(Exists(tree + gone)) << gone;
  }
  // Wine cannot remove a host link without following it: both stay and are listed, once each.
  std::vector<std::string> expected;
  for (const auto& link : {loop, up}) {
    if (Exists(link)) expected.push_back(kTreeFileNotDeletedText + link);
  }
  auto listed = test.reporter.infoLines;
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(test.context.outcome.notRemoved, static_cast<int>(expected.size()));
}
