#include "report/trace_log.h"

#include <windows.h>

#include "platform/files.h"
#include "platform/line_file.h"

TraceLog::TraceLog() = default;
TraceLog::~TraceLog() = default;

// The new file is kept only once it was created, so a failed creation leaves the log
// closed: later writes and the close then do nothing.
void TraceLog::Open(const std::string& path) {
  if (IsOpen()) return;
  auto file = std::make_unique<LineFile>();
  file->CreateForWriting(path);
  file_ = std::move(file);
}

void TraceLog::Write(const std::string& message) {
  if (!IsOpen()) return;
  file_->WriteText(TimeStamp());
  file_->WriteText("   ");
  file_->WriteText(message);
  file_->WriteLine();
}

void TraceLog::Flush() {
  if (IsOpen()) file_->Flush();
}

// The log counts as closed before the last block is written, so a failing write-out is
// raised once and a later close does nothing.
void TraceLog::Close() {
  if (!IsOpen()) return;
  const std::unique_ptr<LineFile> file = std::move(file_);
  file->CloseAndFlush();
}

bool TraceLog::IsOpen() const { return file_ != nullptr; }
