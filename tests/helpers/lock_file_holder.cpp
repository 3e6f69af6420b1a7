// Started by tests: opens the file named by its first argument without sharing delete or
// write access, signals the event named by its second argument, then waits to be ended.
// Without arguments it only waits (a stand-in for a running product process).
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE file = INVALID_HANDLE_VALUE;
  if (argc >= 2) {
    file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
  }
  if (argc >= 3) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!ready) return 3;
    SetEvent(ready);
    CloseHandle(ready);
  }
  Sleep(INFINITE);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
