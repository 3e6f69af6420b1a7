#pragma once
// A reporter that shows nothing and keeps what it was asked to show.
#include <string>
#include <vector>

#include "engine/reporter.h"

class RecordingReporter : public Reporter {
 public:
  void ShowInfo(const std::string& line) override { infoLines.push_back(line); }
  void SimpleMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    questions.push_back(text);
    return confirmAnswer;
  }

  std::vector<std::string> infoLines;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool confirmAnswer = true;
};
