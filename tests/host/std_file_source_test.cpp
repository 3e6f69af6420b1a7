#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files/std_file_source.h"

namespace fs = std::filesystem;

namespace {

class StdFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("std_file_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::random_device{}()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
  }

  static int OpenCode(const std::string& path) {
    try {
      StdFileSource source(path);
      return 0;
    } catch (const EInOutError& error) {
      return error.Code();
    }
  }

  fs::path folder_;
};

std::vector<std::string> Lines(ByteSource& source) {
  LineReader reader(source);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  return lines;
}

}  // namespace

TEST_F(StdFileTest, OpeningFailuresGiveTheWindowsCodes) {
  EXPECT_EQ(OpenCode(PathOf("missing.dat")), 2);
  EXPECT_EQ(OpenCode(PathOf("no_folder/missing.dat")), 3);
  EXPECT_EQ(OpenCode(folder_.string()), 5);
  try {
    StdFileSource source(PathOf("Do_list.dat"));
    ADD_FAILURE() << "a missing file opened";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), "File not found");
  }
}

TEST_F(StdFileTest, ReadsAFileThroughTheLineRules) {
  const std::string longLine(300, 'L');
  WriteFile("Do_list.dat", "first\r\n" + longLine + "\r\nlast\x1Ahidden");
  StdFileSource source(PathOf("Do_list.dat"));
  EXPECT_EQ(Lines(source), (std::vector<std::string>{"first", longLine, "last"}));
}

TEST_F(StdFileTest, BorrowedFileStaysOpen) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("a\r\nb", file);
  std::rewind(file);
  {
    StdFileSource source(file);
    EXPECT_EQ(Lines(source), (std::vector<std::string>{"a", "b"}));
  }
  std::rewind(file);
  EXPECT_EQ(std::fgetc(file), 'a');
  std::fclose(file);
}

TEST_F(StdFileTest, SinkCreatesOrEmptiesAndStoresEveryByte) {
  WriteFile("out.dat", "old content that must go");
  const std::string bytes("x\0y\r\n\xFF", 6);
  {
    StdFileSink sink(PathOf("out.dat"));
    sink.Store(bytes.data(), bytes.size());
    sink.Close();
    EXPECT_THROW(sink.Store("z", 1), EInOutError);
  }
  StdFileSource source(PathOf("out.dat"));
  char buffer[64];
  EXPECT_EQ(std::string(buffer, source.Fetch(buffer, sizeof buffer)), bytes);
}

TEST_F(StdFileTest, SinkFailuresRaise) {
  try {
    StdFileSink sink(PathOf("no_folder/out.dat"));
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Code(), 3);
  }
  StdFileSink sink(PathOf("twice.dat"));
  sink.Close();
  try {
    sink.Close();
    ADD_FAILURE() << "closed twice";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Code(), kIoCloseNotOpen);
  }
}

TEST_F(StdFileTest, FullDiskIsReportedAtTheLatestOnClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  StdFileSink sink("/dev/full");
  const std::string block(128, 'b');
  try {
    sink.Store(block.data(), block.size());
    sink.Close();
    ADD_FAILURE() << "a full disk went unnoticed";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Code(), 112);
    EXPECT_EQ(error.Message(), "I/O error 112");
  }
}
