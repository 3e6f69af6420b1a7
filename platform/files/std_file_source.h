#pragma once
// Byte sources and sinks over C stdio files, for the native rule tool. Failures raise
// EInOutError with the Windows code the same failure gives there (2 file missing, 3 folder
// missing, 4 too many open files, 5 access denied or a folder, 112 disk full).
#include <cstdio>
#include <memory>
#include <string>

#include "platform/files/line_reader.h"

namespace std_file_detail {
struct Closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, Closer>;
}  // namespace std_file_detail

class StdFileSource : public ByteSource {
 public:
  explicit StdFileSource(std::FILE* file) : file_(file) {}  // borrowed, stays open
  explicit StdFileSource(const std::string& path);          // opened here, closed with the source
  std::size_t Fetch(char* buffer, std::size_t capacity) override;

 private:
  std_file_detail::OwnedFile owned_;
  std::FILE* file_;
};

class StdFileSink : public ByteSink {
 public:
  explicit StdFileSink(std::FILE* file) : file_(file) {}  // borrowed; Close only flushes it
  explicit StdFileSink(const std::string& path);          // created, or emptied when it exists
  ~StdFileSink() override;                                // closes without raising
  void Store(const char* data, std::size_t size) override;
  // Writes out what stdio still buffers and closes an owned file; raises when that fails.
  void Close();  // afterwards Store raises code 105 and Close code 103

 private:
  std_file_detail::OwnedFile owned_;
  std::FILE* file_;
};
