#include "tests/e2e/cleaner_folder.h"

#include <windows.h>

#include <stdexcept>
#include <thread>

#include "engine/rules/rule_file.h"
#include "platform/handles.h"
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

std::vector<std::string> CleanerFolder::LogMessages() const {
  if (!HasLog()) return {};
  return TraceMessages(scratch_ / "VC.LOG");
}

CleanerExit CleanerFolder::Run(const std::string& arguments, DWORD allowedMilliseconds) {
  const std::string exe = scratch_ / "Cleaner.exe";
  std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, scratch_.Path().c_str(),
                      &startup, &info)) {
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
