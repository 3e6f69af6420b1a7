#include "report/trace_log.h"

#include <windows.h>

#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/line_file.h"
#include "platform/text/time_stamp.h"
#include "platform/text/wide_text.h"
#include "report/output_file.h"

TraceLog::TraceLog() = default;
TraceLog::~TraceLog() = default;

// The new file is kept only once it was created, so a failed creation leaves the log
// closed: later writes and the close then do nothing.
void TraceLog::Open(const std::string& path) {
  if (IsOpen()) return;
  // Writing through a link would overwrite whatever it names (win.ini, say) with the trace.
  OutputFile made = MakeOutputFile(WideFromUtf8(path));
  if (made.throughLink) throw Exception(kTraceLogLinkText + AnsiFromUtf8(path));
  if (!made.file) throw EInOutError(static_cast<int>(made.error));
  auto file = std::make_unique<LineFile>();
  file->AdoptForWriting(std::move(made.file));
  file_ = std::move(file);
  opened_ = true;
  for (const std::string& line : firstLines_ ? firstLines_() : std::vector<std::string>{}) WriteEncoded(utf8_ ? line : AnsiFromWide(WideFromUtf8(line)));
}

void TraceLog::Write(const std::string& message) {
  if (!IsOpen()) return;
  WriteEncoded(utf8_ ? Utf8FromWide(WideFromAnsi(message)) : message);
}

void TraceLog::WriteNamed(const std::string& message, const std::wstring& name, const std::string& ansiName) {
  if (!IsOpen()) return;
  WriteEncoded(utf8_ ? Utf8FromWide(WideFromAnsi(message) + name) : message + ansiName);
}

void TraceLog::WriteEncoded(const std::string& message) {
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
