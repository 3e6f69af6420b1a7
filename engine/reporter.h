#pragma once
// How the engine speaks to the user apart from the trace log. The desktop implementation
// shows the information window and the message boxes; tests and tools record instead.
#include <string>

class Reporter {
 public:
  virtual ~Reporter() = default;
  // Appends one line to the information list and shows the information window.
  virtual void ShowInfo(const std::string& line) = 0;
  // The simple message: a modal notice with one OK button.
  virtual void SimpleMessage(const std::string& text) = 0;
  // "Confirm File Delete", Yes/No; true only when the answer is Yes.
  virtual bool Confirm(const std::string& text) = 0;
};
