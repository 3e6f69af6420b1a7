#include "tests/e2e/watched_run.h"

#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "platform/handles.h"

WatchedExit RunWatched(const std::string& exe, const std::string& arguments, const std::string& currentFolder,
                       DWORD allowedMilliseconds) {
  std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, currentFolder.c_str(),
                      &startup, &info)) {
    throw std::runtime_error("cannot start " + commandLine);
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);

  WatchedExit result;
  std::thread answerer([&] {
    result.dialogs = AnswerDialogsOfProcess(info.dwProcessId, {DialogAnswer::Press(IDOK)},
                                            static_cast<std::size_t>(-1), allowedMilliseconds);
  });
  const DWORD start = GetTickCount();
  bool forced = false;
  for (;;) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.Get(), &memory, sizeof memory)) {
      result.peakPrivateMb =
          std::max(result.peakPrivateMb, static_cast<double>(memory.PeakPagefileUsage) / (1024.0 * 1024.0));
    }
    if (WaitForSingleObject(process.Get(), 5) != WAIT_TIMEOUT) break;
    if (GetTickCount() - start > allowedMilliseconds) {
      forced = true;
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 10000);
      break;
    }
  }
  answerer.join();
  result.finished = !forced;
  GetExitCodeProcess(process.Get(), &result.exitCode);
  return result;
}

std::vector<std::string> DialogTexts(const WatchedExit& exit) {
  std::vector<std::string> texts;
  for (const DialogRecord& record : exit.dialogs) texts.push_back(record.text);
  return texts;
}
