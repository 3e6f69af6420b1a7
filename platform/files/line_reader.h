#pragma once
// The reading rules of every text file of the cleaner: a line ends at CR (a LF right
// after it belongs to the line end), a lone LF is text, Ctrl-Z or the physical end ends
// the file. Bytes are fetched from a ByteSource in large reads; written bytes go out in
// 128-byte blocks.
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

inline constexpr std::size_t kLineBufferSize = 128;
// How many bytes one fetch asks for. Where a read ends changes no line: line ends, Ctrl-Z
// and the end of the data are found the same way whatever the size, and one large read
// costs what one small one does (a 128-byte read per call is about ten times slower).
inline constexpr std::size_t kLineReadChunk = 64 * 1024;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to capacity bytes; 0 means the data is used up. May raise EInOutError.
  virtual std::size_t Fetch(char* buffer, std::size_t capacity) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all the bytes or raises EInOutError.
  virtual void Store(const char* data, std::size_t size) = 0;
};

// What the rule file reader and the settings file reader need of an open text file.
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual bool AtEnd() = 0;
  virtual std::string ReadLine() = 0;
  virtual void SkipLine() = 0;
};

class LineReader : public LineSource {
 public:
  explicit LineReader(ByteSource& source) : source_(source) {}
  bool AtEnd() override;
  std::string ReadLine() override;
  void SkipLine() override;

 private:
  // The next byte without consuming it; -1 at the physical end.
  int Peek();
  ByteSource& source_;
  std::vector<char> buffer_ = std::vector<char>(kLineReadChunk);
  std::size_t position_ = 0;
  std::size_t fill_ = 0;
  bool exhausted_ = false;
};

// Collects written bytes in 128-byte blocks: a block reaches the sink only when full,
// the remainder at Flush.
class LineWriter {
 public:
  explicit LineWriter(ByteSink& sink) : sink_(sink) {}
  void WriteText(const std::string& text);
  void WriteLine();  // CR LF
  void Flush();

 private:
  void Append(const char* data, std::size_t size);
  ByteSink& sink_;
  std::array<char, kLineBufferSize> buffer_{};
  std::size_t fill_ = 0;
};

// A ByteSource over bytes in memory, for tests, fuzzing and the rule tool.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Fetch(char* buffer, std::size_t capacity) override;

 private:
  std::string bytes_;
  std::size_t offset_ = 0;
};
