#include <windows.h>

#include "tests/win/process_test_helpers.h"

#include <algorithm>
#include <stdexcept>

#include "platform/processes/process_services.h"
#include "tests/support/wine_test_support.h"

namespace process_tests {

StartedProcess::StartedProcess(const std::string& exe, const std::string& arguments) {
  std::string commandLine = "\"" + exe + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw std::runtime_error("cannot start " + exe + ", error " + std::to_string(GetLastError()));
  }
  UniqueKernelHandle thread(info.hThread);
  process_.Reset(info.hProcess);
  id_ = info.dwProcessId;
}

StartedProcess::~StartedProcess() {
  if (process_ && !EndsWithin(0)) {
    TerminateProcess(process_.Get(), 99);
    WaitForSingleObject(process_.Get(), 5000);
  }
}

bool StartedProcess::EndsWithin(DWORD milliseconds) const {
  return WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0;
}

std::string CopySleeperAs(const std::string& folder, const std::string& exeName, const std::string& helper) {
  const std::string copy = folder + "\\" + exeName;
  if (!CopyFileA(HelperPath(helper).c_str(), copy.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + helper + " to " + copy);
  }
  return copy;
}

bool WaitUntilListed(const std::vector<DWORD>& processIds) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::vector<ProcessEntry> snapshot = TakeProcessSnapshot();
    const bool all = std::all_of(processIds.begin(), processIds.end(), [&snapshot](DWORD id) {
      return std::any_of(snapshot.begin(), snapshot.end(), [id](const ProcessEntry& e) { return e.processId == id; });
    });
    if (all) return true;
    Sleep(50);
  }
  return false;
}

bool WaitUntilNameListed(const std::string& exeName, std::size_t count) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::vector<ProcessEntry> snapshot = TakeProcessSnapshot();
    const auto listed = std::count_if(snapshot.begin(), snapshot.end(),
                                      [&exeName](const ProcessEntry& e) { return e.exeFile == exeName; });
    if (static_cast<std::size_t>(listed) >= count) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace process_tests
