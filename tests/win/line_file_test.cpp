#include "platform/files/line_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "platform/errors.h"
#include "tests/support/held_file.h"
#include "tests/support/wine_test_support.h"

namespace {
using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  Lines lines;
  while (!file.AtEnd()) lines.push_back(file.ReadLine());
  file.CloseAndFlush();
  return lines;
}

int CountBySkipping(const std::string& path) {
  LineFile file;
  file.OpenForReading(path);
  int count = 0;
  while (!file.AtEnd()) {
    file.SkipLine();
    ++count;
  }
  return count;
}

// The code of the EInOutError the call raises; 0 when it raises none.
int ErrorCode(const std::function<void()>& call, std::string* message = nullptr) {
  try {
    call();
  } catch (const EInOutError& error) {
    if (message) *message = error.Message();
    return error.Code();
  }
  return 0;
}

std::size_t SizeOnDisk(const std::string& path) { return ReadBytes(path).size(); }
}  // namespace

TEST(LineFileReading, LineEndsCtrlZAndEmptyFilesThroughReadFile) {
  const std::string longLine(1000, 'L');
  const std::string beforeBorder(kLineReadChunk - 1, 'p');  // its CR ends the first read, the LF starts the next
  const struct {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a\nb"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r\n\x1Ax", {"a"}},
      {"\x1Axyz\r\n", {}},
      {"", {}},
      {longLine + "\r\n" + longLine, {longLine, longLine}},
      {beforeBorder + "\r\nq", {beforeBorder, "q"}},
      {std::string("n\0l\r\n", 5), {std::string("n\0l", 3)}},
  };
  ScratchFolder folder("lfread");
  int index = 0;
  for (const auto& c : cases) {
    const std::string path = folder / ("case" + std::to_string(++index) + ".txt");
    WriteBytes(path, c.bytes);
    EXPECT_EQ(ReadAll(path), c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(CountBySkipping(path), static_cast<int>(c.lines.size())) << testing::PrintToString(c.bytes);
  }
}

TEST(LineFileReading, ZeroByteFileIsAtEndAtOnce) {
  ScratchFolder folder("lfzero");
  WriteBytes(folder / "empty.txt", "");
  LineFile file;
  file.OpenForReading(folder / "empty.txt");
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.ReadLine(), "");
  EXPECT_TRUE(file.AtEnd());
}

TEST(LineFileOpening, FailuresRaiseTheWindowsCodeAndLeaveTheFileClosed) {
  ScratchFolder folder("lfopen");
  const struct {
    std::string path;
    int code;
    std::string message;
  } cases[] = {
      {folder / "missing.txt", 2, "File not found"},
      {folder / "no folder\\missing.txt", 3, "Invalid filename"},
  };
  for (const auto& c : cases) {
    LineFile file;
    std::string message;
    EXPECT_EQ(ErrorCode([&] { file.OpenForReading(c.path); }, &message), c.code) << c.path;
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Closed);
  }
  LineFile writer;
  std::string message;
  EXPECT_EQ(ErrorCode([&] { writer.CreateForWriting(folder / "no folder\\new.txt"); }, &message), 3);
  EXPECT_EQ(message, "Invalid filename");
  EXPECT_EQ(writer.CurrentMode(), LineFile::Mode::Closed);
}

TEST(LineFileOpening, FileHeldOpenForWritingByAnotherProcessDoesNotOpen) {
  ScratchFolder folder("lfheld");
  const std::string path = folder / "held.txt";
  WriteBytes(path, "keep\r\n");
  {
    HeldFile held(path);
    ASSERT_EQ(held.Answer(), "held");
    LineFile file;
    std::string message;
    EXPECT_EQ(ErrorCode([&] { file.OpenForReading(path); }, &message), 32);
    EXPECT_EQ(message, "I/O error 32");
    EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Closed);
    EXPECT_EQ(ErrorCode([&] { file.CreateForWriting(path); }), 32);
    EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Closed);
  }
  // Once the holder is gone the file opens and was not changed by the refused create.
  EXPECT_EQ(ReadAll(path), Lines{"keep"});
}

TEST(LineFileOpening, OpeningWhileOpenWritesOutTheBufferFirst) {
  ScratchFolder folder("lfreopen");
  WriteBytes(folder / "in.txt", "x\r\n");
  LineFile file;
  file.CreateForWriting(folder / "out.txt");
  file.WriteText("first");
  file.OpenForReading(folder / "in.txt");
  EXPECT_EQ(ReadBytes(folder / "out.txt"), "first");
  EXPECT_EQ(file.ReadLine(), "x");

  file.CreateForWriting(folder / "out2.txt");
  file.WriteText("second");
  // A failed open still closes (and writes out) what was open before it.
  EXPECT_EQ(ErrorCode([&] { file.OpenForReading(folder / "missing.txt"); }), 2);
  EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Closed);
  EXPECT_EQ(ReadBytes(folder / "out2.txt"), "second");
}

TEST(LineFileOpening, NamesAreCutTo259Characters) {
  ScratchFolder folder("lfname");
  const std::string prefix = folder.Path() + "\\";
  ASSERT_LT(prefix.size(), kMaxLineFileName);
  const std::string kept = prefix + std::string(kMaxLineFileName - prefix.size(), 'n');
  LineFile file;
  file.CreateForWriting(kept + "CUT.txt");
  file.WriteText("cut");
  file.CloseAndFlush();
  EXPECT_EQ(ReadBytes(kept), "cut");
  EXPECT_EQ(GetFileAttributesA((kept + "CUT.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(LineFileWriting, CreateEmptiesAnExistingFile) {
  ScratchFolder folder("lfempty");
  const std::string path = folder / "old.txt";
  WriteBytes(path, "old content\r\n");
  LineFile file;
  file.CreateForWriting(path);
  EXPECT_EQ(SizeOnDisk(path), 0u);
  file.CloseAndFlush();
  EXPECT_EQ(SizeOnDisk(path), 0u);
}

TEST(LineFileWriting, BytesReachTheDiskOnlyInFullBlocksAndAtClose) {
  ScratchFolder folder("lfblock");
  const std::string path = folder / "out.txt";
  LineFile file;
  file.CreateForWriting(path);
  file.WriteText(std::string(20, 'w'));
  file.WriteLine();
  EXPECT_EQ(SizeOnDisk(path), 0u);
  file.CloseAndFlush();
  EXPECT_EQ(ReadBytes(path), std::string(20, 'w') + "\r\n");

  file.CreateForWriting(path);
  file.WriteText(std::string(126, 'a'));
  file.WriteText("b");
  EXPECT_EQ(SizeOnDisk(path), 0u) << "127 bytes are still buffered";
  file.WriteText("c");
  EXPECT_EQ(ReadBytes(path), std::string(126, 'a') + "bc") << "the 128th byte sends the block";
  file.WriteText("tail");
  file.WriteLine();
  EXPECT_EQ(SizeOnDisk(path), 128u);
  file.CloseAndFlush();
  EXPECT_EQ(ReadBytes(path), std::string(126, 'a') + "bctail\r\n");
}

TEST(LineFileWriting, DestructionWritesOutTheBuffer) {
  ScratchFolder folder("lfdtor");
  {
    LineFile file;
    file.CreateForWriting(folder / "out.txt");
    file.WriteText("left open");
    file.WriteLine();
  }
  EXPECT_EQ(ReadBytes(folder / "out.txt"), "left open\r\n");
}

TEST(LineFileModes, OperationsOutsideTheirModeRaiseTheLineFileCodes) {
  ScratchFolder folder("lfmodes");
  WriteBytes(folder / "in.txt", "a\r\nb\r\n");
  LineFile closed;
  LineFile reading;
  reading.OpenForReading(folder / "in.txt");
  LineFile writing;
  writing.CreateForWriting(folder / "out.txt");
  writing.WriteText("kept");

  const struct {
    const char* what;
    std::function<void()> call;
    int code;
  } cases[] = {
      {"close closed", [&] { closed.CloseAndFlush(); }, 103},
      {"read closed", [&] { closed.ReadLine(); }, 104},
      {"skip closed", [&] { closed.SkipLine(); }, 104},
      {"at end closed", [&] { closed.AtEnd(); }, 104},
      {"read writing", [&] { writing.ReadLine(); }, 104},
      {"skip writing", [&] { writing.SkipLine(); }, 104},
      {"at end writing", [&] { writing.AtEnd(); }, 104},
      {"write closed", [&] { closed.WriteText("x"); }, 105},
      {"line closed", [&] { closed.WriteLine(); }, 105},
      {"write reading", [&] { reading.WriteText("x"); }, 105},
      {"line reading", [&] { reading.WriteLine(); }, 105},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(ErrorCode(c.call, &message), c.code) << c.what;
    EXPECT_EQ(message, "I/O error " + std::to_string(c.code)) << c.what;
  }
  // The refused calls changed nothing: each file goes on in its mode.
  EXPECT_EQ(reading.ReadLine(), "a");
  writing.CloseAndFlush();
  EXPECT_EQ(ReadBytes(folder / "out.txt"), "kept");
  EXPECT_EQ(ErrorCode([&] { writing.CloseAndFlush(); }), 103);
}

namespace {
// One end of a named pipe in this process; a line file opens the other end by name.
class PipeServer {
 public:
  PipeServer(const std::string& name, DWORD direction)
      : name_("\\\\.\\pipe\\" + name),
        pipe_(CreateNamedPipeA(name_.c_str(), direction, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                               nullptr)) {}
  const std::string& Name() const { return name_; }
  HANDLE Get() const { return pipe_.Get(); }
  void Close() { pipe_.Reset(); }

 private:
  std::string name_;
  UniqueFile pipe_;
};

std::string UniquePipeName(const char* hint) {
  return std::string("cln_") + hint + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(GetTickCount());
}
}  // namespace

TEST(LineFilePipes, ABrokenPipeIsTheEndOfTheData) {
  PipeServer server(UniquePipeName("read"), PIPE_ACCESS_OUTBOUND);
  ASSERT_NE(server.Get(), INVALID_HANDLE_VALUE);
  LineFile file;
  file.OpenForReading(server.Name());
  const std::string data = "first\r\nsecond";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(server.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
  server.Close();
  Lines lines;
  while (!file.AtEnd()) lines.push_back(file.ReadLine());
  EXPECT_EQ(lines, (Lines{"first", "second"}));
}

TEST(LineFilePipes, AFailedWriteRaisesItsCodeAndLeavesTheFileWriting) {
  PipeServer server(UniquePipeName("write"), PIPE_ACCESS_INBOUND);
  ASSERT_NE(server.Get(), INVALID_HANDLE_VALUE);
  LineFile file;
  file.CreateForWriting(server.Name());
  server.Close();
  const int code = ErrorCode([&] { file.WriteText(std::string(kLineBufferSize, 'p')); });
  EXPECT_NE(code, 0);
  EXPECT_NE(code, kIoNotOpenForWriting);
  EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Writing);
  file.WriteText("more");  // the failed block was dropped, not kept for a second try
  EXPECT_EQ(ErrorCode([&] { file.CloseAndFlush(); }), code);
  EXPECT_EQ(file.CurrentMode(), LineFile::Mode::Closed);
}
