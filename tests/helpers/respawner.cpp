// A product that restarts itself when killed, for tests:
//   respawner.exe CHILD_EXE STOP_EVENT_NAME SECONDS
// keeps two copies of CHILD_EXE running and starts a new one whenever one ends, until the
// named event is set or the seconds are over; then it ends its copies and exits.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kCopies = 2;

HANDLE StartCopy(const std::string& exe) {
  std::string commandLine = "\"" + exe + "\" 120";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string exe = argv[1];
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
  if (!stop) return 3;
  const DWORD limit = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) * 1000;
  const DWORD start = GetTickCount();

  HANDLE handles[kCopies + 1] = {stop};
  for (int i = 1; i <= kCopies; ++i) handles[i] = StartCopy(exe);
  for (int i = 1; i <= kCopies; ++i) {
    if (!handles[i]) return 4;
  }
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limit) break;
    const DWORD woke = WaitForMultipleObjects(kCopies + 1, handles, FALSE, limit - elapsed);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_TIMEOUT || woke == WAIT_FAILED) break;
    const DWORD ended = woke - WAIT_OBJECT_0;
    if (ended > kCopies) break;
    CloseHandle(handles[ended]);
    handles[ended] = StartCopy(exe);
    if (!handles[ended]) return 4;
  }
  for (int i = 1; i <= kCopies; ++i) {
    TerminateProcess(handles[i], 0);
    WaitForSingleObject(handles[i], 5000);
    CloseHandle(handles[i]);
  }
  CloseHandle(stop);
  return 0;
}
