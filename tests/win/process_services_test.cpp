#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <thread>

#include "engine/gateway/recording_effects.h"
#include "platform/handles.h"
#include "platform/processes/process_services.h"
#include "platform/security/privileges.h"
#include "tests/support/wine_test_support.h"
#include "tests/win/process_test_helpers.h"

using process_tests::StartedProcess;

namespace {

const ProcessEntry* FindById(const std::vector<ProcessEntry>& snapshot, DWORD id) {
  const auto found =
      std::find_if(snapshot.begin(), snapshot.end(), [id](const ProcessEntry& e) { return e.processId == id; });
  return found == snapshot.end() ? nullptr : &*found;
}

ULONGLONG ProcessorTime() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return value(kernel) + value(user);  // 100 ns units
}

// A window that counts what reaches its window procedure.
struct MessageLog {
  int posted = 0;
  int timers = 0;
  int fromOtherThread = 0;
  int previewed = 0;
};
MessageLog* messageLog = nullptr;
constexpr UINT kPosted = WM_APP + 1;
constexpr UINT kFromOtherThread = WM_APP + 2;
constexpr UINT kForPreview = WM_APP + 3;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (messageLog) {
    if (message == kPosted) ++messageLog->posted;
    if (message == WM_TIMER) ++messageLog->timers;
    if (message == kFromOtherThread) ++messageLog->fromOtherThread;
    if (message == kForPreview) ADD_FAILURE() << "a message the preview consumed was dispatched";
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class MessageWindow {
 public:
  MessageWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CleanerWaitTestWindow";
    RegisterClassA(&windowClass);
    window_.Reset(CreateWindowA("CleanerWaitTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr));
    messageLog = &log;
  }
  ~MessageWindow() { messageLog = nullptr; }
  HWND Get() const { return window_.Get(); }
  MessageLog log;

 private:
  UniqueWindow window_;
};

void DrainQueue() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool PreviewConsumingOwnMessage(MSG& message) {
  if (message.message != kForPreview) return false;
  if (messageLog) ++messageLog->previewed;
  return true;
}

}  // namespace

TEST(ProcessSnapshot, ListsRunningProcessesWithBareNamesAndIdentifiers) {
  ASSERT_TRUE(ToolHelpAvailable());
  ScratchFolder folder("snap");
  StartedProcess sleeper(process_tests::CopySleeperAs(folder.Path(), "SnapProbe.exe"), "30");
  ASSERT_TRUE(process_tests::WaitUntilListed({sleeper.Id()}));

  const std::vector<ProcessEntry> snapshot = TakeProcessSnapshot();
  const ProcessEntry* probe = FindById(snapshot, sleeper.Id());
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->exeFile, "SnapProbe.exe");
  const ProcessEntry* self = FindById(snapshot, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->exeFile, "win_tests.exe");
  for (const ProcessEntry& entry : snapshot) {
    EXPECT_FALSE(entry.exeFile.empty());
    EXPECT_EQ(entry.exeFile.find('\0'), std::string::npos);
  }
}

TEST(ProcessTerminationService, EndsTheProcessWithExitCodeOneWhenTheQueryIsRefused) {
  ScratchFolder folder("term");
  StartedProcess sleeper(process_tests::CopySleeperAs(folder.Path(), "TermProbe.exe"), "30");
  ASSERT_TRUE(process_tests::WaitUntilListed({sleeper.Id()}));

  RecordingEffects dryRun;
  EXPECT_EQ(TerminateProcessById(sleeper.Id(), "TermProbe.exe", dryRun), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(dryRun.actions.size(), 1u);
  EXPECT_EQ(dryRun.actions[0].target, "TermProbe.exe");
  // Terminate-only access does not allow the exit-code query.
  EXPECT_EQ(dryRun.actions[0].detail, std::to_string(kExitCodeWhenUnknown));
  EXPECT_FALSE(sleeper.EndsWithin(0));

  EXPECT_EQ(TerminateProcessById(sleeper.Id(), "TermProbe.exe", LiveEffects::Instance()),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(sleeper.EndsWithin(5000));
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeProcess(sleeper.Handle(), &exitCode));
  EXPECT_EQ(exitCode, kExitCodeWhenUnknown);
}

TEST(ProcessTerminationService, AnIdentifierThatNamesNoProcessIsPassedOverAsEnded) {
  RecordingEffects dryRun;
  for (const DWORD id : {DWORD{0}, DWORD{0xFFFFFFF0}, DWORD{0x7FFFFFFC}}) {
    EXPECT_EQ(TerminateProcessById(id, "Nobody.exe", dryRun), static_cast<DWORD>(ERROR_SUCCESS)) << id;
  }
  EXPECT_TRUE(dryRun.actions.empty());
}

TEST(Privileges, TheAdministratorsPrivilegesAreEnabledAndAnUnknownOneIsRefused) {
  for (const char* name : {kDebugPrivilege, kBackupPrivilege, kRestorePrivilege}) {
    EXPECT_EQ(EnablePrivilege(name), static_cast<DWORD>(ERROR_SUCCESS)) << name;
  }
  EXPECT_EQ(EnablePrivilege("SeNoSuchPrivilege"), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
}

TEST(WaitServingMessages, ReturnsAfterTheTimeWithoutBusyingTheProcessor) {
  const ULONGLONG before = ProcessorTime();
  const DWORD start = GetTickCount();
  WaitServingMessages(1000);
  const DWORD elapsed = GetTickCount() - start;
  const ULONGLONG used = ProcessorTime() - before;
  EXPECT_GE(elapsed, 1000u);
  // A spinning wait would use about the whole second.
  EXPECT_LT(used, 100u * 10000u) << "processor time " << used / 10000 << " ms";
}

TEST(WaitServingMessages, ServesMessagesAsTheyArriveDuringTheWait) {
  MessageWindow window;
  DrainQueue();
  PostMessageA(window.Get(), kPosted, 0, 0);
  SetTimer(window.Get(), 1, 100, nullptr);
  std::thread poster([hwnd = window.Get()] {
    Sleep(300);
    PostMessageA(hwnd, kFromOtherThread, 0, 0);
  });
  WaitServingMessages(1000);
  poster.join();
  KillTimer(window.Get(), 1);
  DrainQueue();

  EXPECT_EQ(window.log.posted, 1);
  EXPECT_EQ(window.log.fromOtherThread, 1);
  // Each timer tick is served while the wait goes on, not once at its end.
  EXPECT_GE(window.log.timers, 4);
}

TEST(WaitServingMessages, AQuitRequestIsKeptForTheMainLoopAndTheWaitGoesOn) {
  MessageWindow window;
  DrainQueue();
  PostQuitMessage(7);
  PostMessageA(window.Get(), kPosted, 0, 0);
  const DWORD start = GetTickCount();
  WaitServingMessages(500);
  EXPECT_GE(GetTickCount() - start, 500u);
  EXPECT_EQ(window.log.posted, 1);

  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  DrainQueue();
}

TEST(WaitServingMessages, TheInterfacesPreviewMayConsumeAMessage) {
  MessageWindow window;
  DrainQueue();
  SetMessagePreview(PreviewConsumingOwnMessage);
  PostMessageA(window.Get(), kForPreview, 0, 0);
  PostMessageA(window.Get(), kPosted, 0, 0);
  WaitServingMessages(200);
  SetMessagePreview(nullptr);
  EXPECT_EQ(window.log.previewed, 1);
  EXPECT_EQ(window.log.posted, 1);
}
