#pragma once
// A text file read or written line by line (CreateFileA, ReadFile, WriteFile): read in
// large chunks, written in 128-byte blocks. Every failure raises EInOutError with its code.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/files/line_reader.h"
#include "platform/handles.h"

class LineFile : public LineSource {
 public:
  LineFile();
  ~LineFile() override;  // closes without raising
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  void OpenForReading(const std::string& name);
  void CreateForWriting(const std::string& name);
  // Writes to a file the caller made and opened for writing.
  void AdoptForWriting(UniqueFile file);
  // Every byte not yet read, as stored, for a file whose form is judged before its lines are
  // read; call it before reading any line.
  std::string ReadStoredBytes();
  std::string ReadLine() override;
  void SkipLine() override;
  bool AtEnd() override;
  void WriteText(const std::string& text);
  void WriteLine();
  // Hands what the buffer holds to the file now; the file stays open for writing.
  void Flush();
  void CloseAndFlush();

  enum class Mode { Closed, Reading, Writing };
  Mode CurrentMode() const { return mode_; }

 private:
  class Source;
  class Sink;
  void CloseIfOpen();
  Mode mode_ = Mode::Closed;
  UniqueFile handle_;
  std::unique_ptr<Source> source_;
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<LineReader> reader_;
  std::unique_ptr<LineWriter> writer_;
};

inline constexpr std::size_t kMaxLineFileName = 259;
