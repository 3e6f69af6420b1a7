#pragma once
// A cleaner context without a window for start-up tests: plain controls, recorded changes
// and messages, and a real trace log written into a scratch folder.
#include <string>
#include <vector>

#include "engine/cleaner_context.h"
#include "engine/effects.h"
#include "engine/plain_controls.h"
#include "report/reporter.h"
#include "report/trace_log.h"

class RecordingReporter : public Reporter {
 public:
  void ShowInfo(const std::string& line) override { infoLines.push_back(line); }
  void SimpleMessage(const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string& text) override {
    questions.push_back(text);
    return true;
  }
  std::vector<std::string> infoLines;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
};

struct StartupRig {
  CleanerState state;
  PlainControls controls{state};
  RecordingEffects effects;
  RecordingReporter reporter;
  TraceLog trace;
  CleanerContext context{state, controls, effects, reporter, trace};

  // Switches the trace on into the given file.
  void TraceInto(const std::string& path) {
    state.TraceLogOn = true;
    trace.Open(path);
  }
};
