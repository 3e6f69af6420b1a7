#include "tests/e2e/cleaner_folder.h"

#include <algorithm>

#include <windows.h>

#include <stdexcept>
#include <thread>

#include "engine/rules/rule_file.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/trace_messages.h"

namespace {

constexpr char kMainWindowCaption[] = "Velmora Cleaner";

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindVisibleMainWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof caption);
  if (std::string(caption) != kMainWindowCaption) return TRUE;
  search->found = window;
  return FALSE;
}

HWND VisibleMainWindow(DWORD processId) {
  WindowSearch search{processId, nullptr};
  EnumWindows(FindVisibleMainWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

std::string StoredRuleFile(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += ScrambleLine(line) + "\r\n";
  return bytes;
}

CleanerFolder::CleanerFolder() {
  const std::string exe = scratch_ / "Cleaner.exe";
  if (!CopyFileA((BuildFolder() + "\\Cleaner.exe").c_str(), exe.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy Cleaner.exe");
  }
}

void CleanerFolder::WriteRules(const std::vector<std::string>& lines) {
  WriteBytes(scratch_ / "Do_list.dat", StoredRuleFile(lines));
}

void CleanerFolder::RemoveRules() { DeleteFileA((scratch_ / "Do_list.dat").c_str()); }

void CleanerFolder::WriteSettings(const std::string& bytes) { WriteBytes(scratch_ / "QRV_RC.INI", bytes); }

bool CleanerFolder::HasLog() const {
  return GetFileAttributesA((scratch_ / "VC.LOG").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> CleanerFolder::LogLines() const {
  if (!HasLog()) return {};
  return TraceMessages(scratch_ / "VC.LOG");
}

std::vector<std::string> CleanerFolder::LogMessages() const {
  static const char* const kAdministrative[] = {"Velmora Cleaner ", "Computer: ", "Account: ", "Command line: ",
                                                 "Rule file: ", "Setting in effect: ", "Run ended: "};
  std::vector<std::string> messages;
  for (std::string& line : LogLines()) {
    const bool administrative =
        std::any_of(std::begin(kAdministrative), std::end(kAdministrative),
                    [&](const char* prefix) { return line.rfind(prefix, 0) == 0; }) ||
        line.find("QRV_RC.INI, line ") != std::string::npos;
    if (!administrative) messages.push_back(std::move(line));
  }
  return messages;
}

CleanerExit CleanerFolder::Run(const std::string& arguments, DWORD allowedMilliseconds) {
  const std::wstring exe = WideFromAnsi(scratch_ / "Cleaner.exe");
  // Started wide, as Explorer and deployment agents start programs: names in any alphabet.
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + WideFromUtf8(arguments));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      WideFromAnsi(scratch_.Path()).c_str(), &startup, &info)) {
    throw std::runtime_error("cannot start Cleaner.exe");
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);

  CleanerExit result;
  std::vector<DialogRecord> answered;
  std::thread answerer([&] {
    answered = AnswerDialogsOfProcess(info.dwProcessId, {DialogAnswer::Press(IDOK)},
                                      static_cast<std::size_t>(-1), allowedMilliseconds);
  });
  const DWORD start = GetTickCount();
  bool forced = false;
  while (WaitForSingleObject(process.Get(), 50) == WAIT_TIMEOUT) {
    if (HWND window = VisibleMainWindow(info.dwProcessId)) {
      result.mainWindowShown = true;
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
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
  for (const auto& record : answered) result.dialogs.push_back({record.caption, record.text});
  return result;
}

CapturedExit CleanerFolder::RunCapturingOutput(const std::string& arguments, DWORD allowedMilliseconds) {
  const std::string exe = scratch_ / "Cleaner.exe";
  const std::string outputPath = scratch_ / "stdout.txt";
  std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  CapturedExit result;
  {
    UniqueFile output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) throw std::runtime_error("cannot make the output file");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, scratch_.Path().c_str(),
                        &startup, &info)) {
      throw std::runtime_error("cannot start Cleaner.exe");
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    result.finished = WaitForSingleObject(process.Get(), allowedMilliseconds) == WAIT_OBJECT_0;
    if (!result.finished) {
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 10000);
    }
    GetExitCodeProcess(process.Get(), &result.exitCode);
  }
  result.output = ReadBytes(outputPath);
  DeleteFileA(outputPath.c_str());
  return result;
}
