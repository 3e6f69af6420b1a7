#include "tests/support/held_file.h"

#include <windows.h>

#include <stdexcept>

#include "tests/support/wine_test_support.h"

namespace {
void MakePipe(UniqueKernelHandle& read, UniqueKernelHandle& write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE r = nullptr;
  HANDLE w = nullptr;
  if (!CreatePipe(&r, &w, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  read.Reset(r);
  write.Reset(w);
}
}  // namespace

HeldFile::HeldFile(const std::string& path) : HeldFile("hold_file.exe", "\"" + path + "\"") {}

HeldFile::HeldFile(const std::string& helper, const std::string& arguments) {
  UniqueKernelHandle stdinRead;
  UniqueKernelHandle stdoutRead;
  UniqueKernelHandle stdoutWrite;
  MakePipe(stdinRead, stdinWrite_);
  MakePipe(stdoutRead, stdoutWrite);
  // Only the child's ends are inherited.
  SetHandleInformation(stdinWrite_.Get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(stdoutRead.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = stdinRead.Get();
  startup.hStdOutput = stdoutWrite.Get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string commandLine = "\"" + HelperPath(helper) + "\" " + arguments;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw std::runtime_error("cannot start " + helper);
  }
  process_.Reset(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  stdoutWrite.Reset();  // the holder's end of its output is now its own

  char byte = 0;
  DWORD got = 0;
  while (ReadFile(stdoutRead.Get(), &byte, 1, &got, nullptr) && got == 1 && byte != '\n') {
    if (byte != '\r') answer_ += byte;
  }
}

HeldFile::~HeldFile() {
  stdinWrite_.Reset();
  WaitForSingleObject(process_.Get(), 10000);
}
