#pragma once
// The engine test context acting through recording effects: nothing on the machine changes,
// and `effects` lists what would have.
#include "tests/support/engine_test_support.h"

struct TestContext : EngineTestContext {
  explicit TestContext(Reporter* otherReporter = nullptr) : EngineTestContext(Acting::Recorded, otherReporter) {}
  RecordingEffects& effects = recorded;
};
