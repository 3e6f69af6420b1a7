#pragma once
// The trace log "VC.LOG": one time-stamped line per event, buffered in 128-byte blocks
// and complete on disk once closed.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/trace.h"

class LineFile;

// Followed by the path: an existing log that is a link or has more than one name.
inline constexpr char kTraceLogLinkText[] = "The trace log is a link or has more than one name: ";

class TraceLog : public Trace {
 public:
  TraceLog();
  ~TraceLog() override;
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Creates or empties the file; the path in UTF-8, as the command line gives it. A second call while open keeps the open log. On failure
  // raises EInOutError and stays unusable: later writes and the close do nothing. An existing
  // file reached through a link is never opened: that raises Exception.
  void Open(const std::string& path) override;
  // Time stamp, three blanks, the message, CR LF. Does nothing unless open.
  void Write(const std::string& message) override;
  void WriteNamed(const std::string& message, const std::wstring& name, const std::string& ansiName) override;
  void Flush() override;
  // Writes out what is buffered and closes; does nothing unless open.
  void Close() override;
  bool IsOpen() const override;
  // True once the file was made, also after it was closed.
  bool WasOpened() const { return opened_; }

  // Lines written first, as soon as the file is open: what program, where, for whom, with
  // which rules. In UTF-8.
  void SetFirstLines(std::vector<std::string> lines) {
    firstLines_ = [lines = std::move(lines)] { return lines; };
  }
  // The lines are made only when the log opens: most runs keep no log, and the facts they
  // name (the rule file's hash among them) cost the window's start-up.
  void SetFirstLines(std::function<std::vector<std::string>()> lines) { firstLines_ = std::move(lines); }
  // Writes the messages in UTF-8 instead of the ANSI code page.
  void SetUtf8(bool utf8) { utf8_ = utf8; }

 private:
  void WriteEncoded(const std::string& message);
  std::unique_ptr<LineFile> file_;
  std::function<std::vector<std::string>()> firstLines_;
  bool utf8_ = false;
  bool opened_ = false;
};
