#pragma once
// The trace log as the engine, start-up and the window see it: one time-stamped line per
// event, written only while the log is open.
#include <string>

class Trace {
 public:
  virtual ~Trace() = default;
  // Creates or empties the log at the path (UTF-8, as the command line gives it); a second
  // call while open keeps the open log. Raises EInOutError when the file cannot be made.
  virtual void Open(const std::string& path) = 0;
  // Does nothing unless open.
  virtual void Write(const std::string& message) = 0;
  // A message followed by a name the ANSI code page may not hold: given as the system names
  // it and as close as the code page allows; a log in UTF-8 keeps the true name.
  virtual void WriteNamed(const std::string& message, const std::wstring& name, const std::string& ansiName) {
    (void)name;
    Write(message + ansiName);
  }
  // Hands the buffered lines to the file, so that a run ended by force leaves whole lines;
  // does nothing unless open.
  virtual void Flush() = 0;
  // Writes out what is buffered and closes; does nothing unless open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// A log that is never open, for runs that keep none (the plan's dry run).
class NoTrace : public Trace {
 public:
  void Open(const std::string&) override {}
  void Write(const std::string&) override {}
  void Flush() override {}
  void Close() override {}
  bool IsOpen() const override { return false; }
};
