#pragma once
// A complete CleanerContext for Windows tests: plain controls, recording effects, a
// recording reporter unless another is given, and a trace log that is closed until opened.
#include "engine/cleaner_context.h"
#include "engine/recording_effects.h"
#include "engine/plain_controls.h"
#include "report/trace_log.h"
#include "tests/support/recording_reporter.h"

struct TestContext {
  explicit TestContext(Reporter* otherReporter = nullptr)
      : context{state, controls, effects, otherReporter ? *otherReporter : reporter, trace} {}

  CleanerState state;
  PlainControls controls{state};
  RecordingEffects effects;
  RecordingReporter reporter;
  TraceLog trace;
  CleanerContext context;
};
