#pragma once
// What every benchmark program shares: a clock, the median, and the one machine-readable
// line per figure that bench/run_all.sh collects into its table:
//   RESULT<TAB>figure<TAB>value<TAB>unit<TAB>peer<TAB>peer value<TAB>lower|higher<TAB>runs
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A bench that cannot set up what it measures stops with the reason.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "bench: %s\n", what.c_str());
  std::exit(1);
}

enum class Better { Lower, Higher };

// One row of the table: our figure against the peer measured in the same run.
inline void PrintResult(const std::string& figure, double value, const std::string& unit, const std::string& peer,
                        double peerValue, Better better, std::size_t runs) {
  std::printf("RESULT\t%s\t%.6g\t%s\t%s\t%.6g\t%s\t%zu\n", figure.c_str(), value, unit.c_str(), peer.c_str(),
              peerValue, better == Better::Lower ? "lower" : "higher", runs);
  std::fflush(stdout);
}

}  // namespace bench
