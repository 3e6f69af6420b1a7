#pragma once
// A broken invariant stops the fuzzer with the condition that failed.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                        \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)
