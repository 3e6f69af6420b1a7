// hold_file.exe PATH [EVENT]: opens PATH (read+write, shared for reading only, no write or delete sharing), prints "held" or "failed CODE", then waits until its stdin ends or the named event EVENT is set.
#include <windows.h>

#include <cstdio>

namespace {
void WaitForStdinEnd() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char byte = 0;
  DWORD got = 0;
  while (ReadFile(in, &byte, 1, &got, nullptr) && got > 0) {
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: hold_file PATH [EVENT]\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("failed %lu\n", GetLastError());
    std::fflush(stdout);
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  if (argc == 3) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, argv[2]);
    if (event) {
      WaitForSingleObject(event, INFINITE);
      CloseHandle(event);
    }
  } else {
    WaitForStdinEnd();
  }
  CloseHandle(file);
  return 0;
}
