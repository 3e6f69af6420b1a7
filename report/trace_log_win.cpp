#include "report/trace_log.h"

#include <windows.h>

#include "platform/errors.h"
#include "platform/files/file_identity.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/files/line_file.h"
#include "platform/text/time_stamp.h"
#include "platform/text/wide_text.h"

namespace {

std::wstring UpperWide(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// True when the existing file at path is reached through a link: a reparse point, a file
// with more than one name (a hard link), or one whose path as the system gives it back is
// not its folder's followed by its own name (a symbolic link the system does not mark as
// one, as Wine's host links are).
bool IsReachedThroughLink(const std::wstring& path) {
  const auto file = FactsOfPath(path, false);
  if (!file) return false;  // not there yet: it is created as a plain file
  if ((file->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || file->links > 1) return true;
  const std::wstring full = FullPathWide(path);
  const std::size_t split = full.find_last_of(L'\\');
  if (file->finalPath.empty() || split == std::wstring::npos) return false;
  const auto folder = FactsOfPath(full.substr(0, split + 1));
  if (!folder || folder->finalPath.empty()) return false;
  std::wstring expected = folder->finalPath;
  if (expected.back() != L'\\') expected += L'\\';
  return UpperWide(expected + full.substr(split + 1)) != UpperWide(file->finalPath);
}

}  // namespace

TraceLog::TraceLog() = default;
TraceLog::~TraceLog() = default;

// The new file is kept only once it was created, so a failed creation leaves the log
// closed: later writes and the close then do nothing.
void TraceLog::Open(const std::string& path) {
  if (IsOpen()) return;
  // Writing through a link would overwrite whatever it names (win.ini, say) with the trace.
  if (IsReachedThroughLink(WideFromAnsi(path))) throw Exception(kTraceLogLinkText + path);
  auto file = std::make_unique<LineFile>();
  file->CreateForWriting(path);
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
