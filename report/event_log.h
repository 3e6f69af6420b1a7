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
// The event IDs of the program's message table (app/events.mc), one per kind: each message is
// its one insertion string, so Event Viewer shows the entry's text.
inline constexpr unsigned long kInformationEventId = 0x400003E8;
inline constexpr unsigned long kWarningEventId = 0x800007D0;
inline constexpr unsigned long kErrorEventId = 0xC0000BB8;
unsigned long EventIdOf(EventKind kind);

// Registers the source (the key under the Application log that names this executable as its
// message file) before the first entry, or again where it names another file (an earlier run's
// copy, often in a temporary folder), and writes each entry. With mayRegister false (/DETECT,
// which changes nothing) the registry is left as it is. A failure is passed over: the event
// log is where failures are told, so there is nowhere left to tell its own.
class WindowsEventLog : public EventLog {
 public:
  explicit WindowsEventLog(bool mayRegister = true) : mayRegister_(mayRegister) {}
  void Write(EventKind kind, const std::string& text) override;

 private:
  bool mayRegister_;
  bool registered_ = false;
};
