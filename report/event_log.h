#pragma once
// The Windows event log as the program sees it: one entry per call. The live form writes to
// the Application log under the source "Velmora Cleaner"; tests record the calls instead
// (Wine's event log keeps nothing).
#include <string>

enum class EventKind { Information, Warning, Error };

class EventLog {
 public:
  virtual ~EventLog() = default;
  virtual void Write(EventKind kind, const std::string& text) = 0;
};

inline constexpr char kEventSourceName[] = "Velmora Cleaner";

// Registers the source on first use (the key under the Application log that names this
// executable) and writes each entry. A failure is passed over: the event log is where
// failures are told, so there is nowhere left to tell its own.
class WindowsEventLog : public EventLog {
 public:
  void Write(EventKind kind, const std::string& text) override;

 private:
  bool registered_ = false;
};
