#include "platform/files/line_file.h"

#include <windows.h>

#include <vector>

#include "platform/errors.h"

namespace {
[[noreturn]] void RaiseLastError() { throw EInOutError(static_cast<int>(GetLastError())); }
}  // namespace

// Fetches with ReadFile; a broken pipe is the end of the data like the end of a file.
class LineFile::Source : public ByteSource {
 public:
  explicit Source(HANDLE handle) : handle_(handle) {}
  std::size_t Fetch(char* buffer, std::size_t capacity) override {
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
      RaiseLastError();
    }
    return got;
  }

 private:
  HANDLE handle_;
};

// Stores with WriteFile. A write that succeeds without taking every byte is retried for
// the rest; one that takes nothing counts as a full disk.
class LineFile::Sink : public ByteSink {
 public:
  explicit Sink(HANDLE handle) : handle_(handle) {}
  void Store(const char* data, std::size_t size) override {
    while (size > 0) {
      DWORD written = 0;
      if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr)) RaiseLastError();
      if (written == 0) throw EInOutError(ERROR_DISK_FULL);
      data += written;
      size -= written;
    }
  }

 private:
  HANDLE handle_;
};

LineFile::LineFile() = default;

LineFile::~LineFile() {
  // A destructor must not raise: buffered bytes are still written when possible, and a
  // failure to do so is dropped with the handle.
  if (mode_ == Mode::Writing) {
    try {
      writer_->Flush();
    } catch (const EInOutError&) {
    }
  }
}

namespace {
std::string CutName(const std::string& name) { return name.substr(0, kMaxLineFileName); }
}  // namespace

void LineFile::OpenForReading(const std::string& name) {
  CloseIfOpen();
  UniqueFile file(CreateFileA(CutName(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) RaiseLastError();
  handle_ = std::move(file);
  source_ = std::make_unique<Source>(handle_.Get());
  reader_ = std::make_unique<LineReader>(*source_);
  mode_ = Mode::Reading;
}

void LineFile::CreateForWriting(const std::string& name) {
  CloseIfOpen();
  UniqueFile file(CreateFileA(CutName(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) RaiseLastError();
  if (GetFileType(file.Get()) == FILE_TYPE_UNKNOWN) throw EInOutError(kIoNotOpenForWriting);
  handle_ = std::move(file);
  sink_ = std::make_unique<Sink>(handle_.Get());
  writer_ = std::make_unique<LineWriter>(*sink_);
  mode_ = Mode::Writing;
}

std::string LineFile::ReadStoredBytes() {
  if (mode_ != Mode::Reading) throw EInOutError(kIoNotOpenForReading);
  std::string bytes;
  std::vector<char> chunk(kLineReadChunk);
  while (const std::size_t got = source_->Fetch(chunk.data(), chunk.size())) bytes.append(chunk.data(), got);
  return bytes;
}

void LineFile::AdoptForWriting(UniqueFile file) {
  CloseIfOpen();
  if (!file) throw EInOutError(kIoNotOpenForWriting);
  handle_ = std::move(file);
  sink_ = std::make_unique<Sink>(handle_.Get());
  writer_ = std::make_unique<LineWriter>(*sink_);
  mode_ = Mode::Writing;
}

std::string LineFile::ReadLine() {
  if (mode_ != Mode::Reading) throw EInOutError(kIoNotOpenForReading);
  return reader_->ReadLine();
}

void LineFile::SkipLine() {
  if (mode_ != Mode::Reading) throw EInOutError(kIoNotOpenForReading);
  reader_->SkipLine();
}

bool LineFile::AtEnd() {
  if (mode_ != Mode::Reading) throw EInOutError(kIoNotOpenForReading);
  return reader_->AtEnd();
}

void LineFile::WriteText(const std::string& text) {
  if (mode_ != Mode::Writing) throw EInOutError(kIoNotOpenForWriting);
  writer_->WriteText(text);
}

void LineFile::WriteLine() {
  if (mode_ != Mode::Writing) throw EInOutError(kIoNotOpenForWriting);
  writer_->WriteLine();
}

void LineFile::Flush() {
  if (mode_ != Mode::Writing) throw EInOutError(kIoNotOpenForWriting);
  writer_->Flush();
}

void LineFile::CloseAndFlush() {
  if (mode_ == Mode::Closed) throw EInOutError(kIoCloseNotOpen);
  CloseIfOpen();
}

// Ends closed even when the last block cannot be written: the handle moves into a local
// owner that closes it also while the write failure travels up.
void LineFile::CloseIfOpen() {
  if (mode_ == Mode::Closed) return;
  const Mode was = mode_;
  mode_ = Mode::Closed;
  UniqueFile file = std::move(handle_);
  std::unique_ptr<Sink> sink = std::move(sink_);
  std::unique_ptr<LineWriter> writer = std::move(writer_);
  reader_.reset();
  source_.reset();
  if (was == Mode::Writing) writer->Flush();
  if (!file.Reset()) RaiseLastError();
}
