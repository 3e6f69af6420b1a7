// hold_mutex.exe NAME SDDL: creates the mutex NAME with the access list SDDL gives, prints "held"
// or "failed CODE", then waits until its stdin ends.
#include <windows.h>
#include <sddl.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_mutex NAME SDDL\n");
    return 2;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[2], SDDL_REVISION_1, &descriptor, nullptr)) {
    std::printf("failed %lu\n", GetLastError());
    return 1;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  HANDLE mutex = CreateMutexA(&attributes, FALSE, argv[1]);
  LocalFree(descriptor);
  if (!mutex) {
    std::printf("failed %lu\n", GetLastError());
    std::fflush(stdout);
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char byte = 0;
  DWORD got = 0;
  while (ReadFile(in, &byte, 1, &got, nullptr) && got > 0) {
  }
  CloseHandle(mutex);
  return 0;
}
