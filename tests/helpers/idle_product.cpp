// Stands in for a running product process in tests: it only waits to be ended, and ends
// itself after a minute so that no copy outlives a failed test.
#include <windows.h>

int main() {
  Sleep(60000);
  return 0;
}
