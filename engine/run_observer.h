#pragma once
// Told of what an administrator reads after a run: every line of the information list, and
// every error the error handler shows. The application gathers the run's report and the
// event-log entries here; the engine and the window do not know who listens.
#include <string>

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A line of the information list: something left behind or refused (scheduled: deleted by
  // the system at the next restart instead).
  virtual void Listed(const std::string& line, bool scheduled) = 0;
  // The text of an error box, shown or (quiet) only logged.
  virtual void ErrorShown(const std::string& message) = 0;
  // Undo: an item put back. Once an undo has begun, what it restored (and the lines of what
  // it did not) are its changes; the gateway calls it made to restore them are details.
  virtual void UndoStarting() {}
  virtual void Restored(const std::string& what) { (void)what; }
};
