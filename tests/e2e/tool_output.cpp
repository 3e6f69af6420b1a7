#include "tests/e2e/tool_output.h"

#include <stdexcept>

#include "platform/handles.h"

ToolRun RunCapturingOutput(const std::string& exe, const std::string& arguments, const std::string& folder) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("no pipe");
  const UniqueKernelHandle reader(readEnd);
  UniqueKernelHandle writer(writeEnd);
  SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.Get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string commandLine = "\"" + exe + "\" " + arguments;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                      &info)) {
    throw std::runtime_error("cannot start " + exe);
  }
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  writer.Reset();  // the pipe ends when the child's copy closes
  ToolRun run;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
  WaitForSingleObject(process.Get(), 60000);
  GetExitCodeProcess(process.Get(), &run.exitCode);
  // A Windows console program ends its lines with CR LF.
  std::erase(run.output, '\r');
  return run;
}

