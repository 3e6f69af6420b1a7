// Stands in for a product process in tests: does nothing until it is ended, or until the
// given number of seconds (default 60) is over so that no copy outlives a failed test.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 60;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < seconds * 1000) Sleep(100);
  return 0;
}
