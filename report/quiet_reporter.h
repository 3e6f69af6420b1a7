#pragma once
// The reporter of the quiet mode (/Q): nothing is shown and nothing waits for an answer.
// Every line of the information list and every box's text already goes to the trace log
// where it is raised, and counts in the exit code; a question is answered No, which keeps
// the files.
#include <string>

#include "engine/reporter.h"

class QuietReporter : public Reporter {
 public:
  void ShowInfo(const std::string&) override {}
  void SimpleMessage(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
};
