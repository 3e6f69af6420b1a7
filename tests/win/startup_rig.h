#pragma once
// A cleaner context without a window for start-up tests, with the trace log written into
// a file of the test's choosing.
#include <string>

#include "tests/support/test_context.h"

struct StartupRig : TestContext {
  // Switches the trace on into the given file.
  void TraceInto(const std::string& path) {
    state.TraceLogOn = true;
    trace.Open(path);
  }
};
