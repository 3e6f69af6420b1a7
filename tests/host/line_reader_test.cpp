#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/errors.h"
#include "platform/files/line_reader.h"
#include "tests/host/trickling_source.h"

namespace {
std::vector<std::string> Lines(const std::string& bytes) {
  MemoryByteSource source(bytes);
  LineReader reader(source);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  return lines;
}

int Count(const std::string& bytes) {
  MemoryByteSource source(bytes);
  LineReader reader(source);
  int n = 0;
  while (!reader.AtEnd()) {
    reader.SkipLine();
    ++n;
  }
  return n;
}

class VectorSink : public ByteSink {
 public:
  void Store(const char* data, std::size_t size) override { blocks.emplace_back(data, size); }
  std::vector<std::string> blocks;
};
}  // namespace

using V = std::vector<std::string>;

TEST(LineReading, LineEndsCtrlZAndLoneLineFeeds) {
  const struct {
    std::string bytes;
    V lines;
  } cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a\nb"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r\n\x1Ax", {"a"}},
      {"\x1A" "abc", {}},
      {"", {}},
      {"a\rb", {"a", "b"}},
      {"\r\n", {""}},
      {"a\r\x1A\nb", {"a"}},
      {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lines(c.bytes), c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(Count(c.bytes), static_cast<int>(c.lines.size())) << testing::PrintToString(c.bytes);
  }
}

TEST(LineReading, LinesLongerThanTheBufferAndEndsOnBlockBorders) {
  const std::string longLine(1000, 'q');
  EXPECT_EQ(Lines(longLine + "\r\nz"), (V{longLine, "z"}));
  // A CR as the 128th byte and its LF as the 129th belong together.
  const std::string first(127, 'a');
  EXPECT_EQ(Lines(first + "\r\nb"), (V{first, "b"}));
  const std::string megabyte(3 << 20, 'm');
  EXPECT_EQ(Lines(megabyte), (V{megabyte}));
}

TEST(LineReading, WhereAFetchEndsChangesNoLine) {
  const std::string bytes = std::string("ab\r\ncd\r\r\n\ne\nf\r") + std::string(300, 'g') + "\r\nh\x1Ai\r\n";
  const V whole = Lines(bytes);
  ASSERT_EQ(whole, (V{"ab", "cd", "", "\ne\nf", std::string(300, 'g'), "h"}));
  for (const std::size_t most : {1u, 2u, 3u, 5u, 127u, 128u, 129u}) {
    TricklingSource source(bytes, most);
    LineReader reader(source);
    V lines;
    while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    EXPECT_EQ(lines, whole) << most << " bytes per fetch";
  }
  // A CR as the last byte of one full read and its LF as the first of the next.
  const std::string first(kLineReadChunk - 1, 'c');
  EXPECT_EQ(Lines(first + "\r\nd"), (V{first, "d"}));
  EXPECT_EQ(Count(first + "\r\nd"), 2);
  EXPECT_EQ(Lines(first + "\r\x1A\r\nd"), (V{first}));
}

TEST(LineWriting, ReachesTheSinkOnlyInFullBlocksAndAtFlush) {
  VectorSink sink;
  LineWriter writer(sink);
  writer.WriteText(std::string(20, 'x'));
  writer.WriteLine();
  EXPECT_TRUE(sink.blocks.empty());
  writer.WriteText(std::string(200, 'y'));
  ASSERT_EQ(sink.blocks.size(), 1u);
  EXPECT_EQ(sink.blocks[0].size(), 128u);
  EXPECT_EQ(sink.blocks[0].substr(20, 2), "\r\n");
  writer.Flush();
  ASSERT_EQ(sink.blocks.size(), 2u);
  EXPECT_EQ(sink.blocks[1].size(), 222u - 128u);
  writer.Flush();
  EXPECT_EQ(sink.blocks.size(), 2u);
}
