#include "tests/support/dialog_answerer.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "ui/messages.h"

namespace {

constexpr DWORD kScanInterval = 5;
constexpr DWORD kMessageTimeout = 5000;
constexpr DWORD kRepeatAnswerAfter = 500;
constexpr char kMessageBoxClass[] = "#32770";

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// WM_GETTEXT works for windows of other processes as well, unlike GetWindowText on controls.
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &length)) return {};
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kMessageTimeout, &copied)) {
    return {};
  }
  text.resize(copied);
  return text;
}

BOOL CALLBACK CollectControl(HWND child, LPARAM param) {
  auto* record = reinterpret_cast<DialogRecord*>(param);
  if (GetParent(child) != record->window) return TRUE;
  DialogControl control;
  control.id = GetDlgCtrlID(child);
  control.className = ClassOf(child);
  control.text = TextOf(child);
  control.style = GetWindowLongA(child, GWL_STYLE);
  GetWindowRect(child, &control.rect);
  MapWindowPoints(nullptr, record->window, reinterpret_cast<POINT*>(&control.rect), 2);
  if ((control.style & SS_TYPEMASK) == SS_ICON && _stricmp(control.className.c_str(), "Static") == 0) {
    DWORD_PTR icon = 0;
    SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &icon);
    control.icon = reinterpret_cast<HICON>(icon);
  }
  record->controls.push_back(control);
  return TRUE;
}

DialogRecord Describe(HWND window) {
  DialogRecord record;
  record.window = window;
  record.className = ClassOf(window);
  record.caption = TextOf(window);
  record.style = GetWindowLongA(window, GWL_STYLE);
  record.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  record.owner = GetWindow(window, GW_OWNER);
  GetWindowRect(window, &record.windowRect);
  GetClientRect(window, &record.clientRect);
  DWORD_PTR defaultId = 0;
  if (SendMessageTimeoutA(window, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &defaultId) &&
      HIWORD(defaultId) == DC_HASDEFID) {
    record.defaultId = LOWORD(defaultId);
  }
  EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&record));
  if (const DialogControl* text = record.Control(kSimpleMessageTextId)) record.text = text->text;
  return record;
}

void Give(HWND window, const DialogAnswer& answer) {
  switch (answer.kind) {
    case DialogAnswer::Kind::Button:
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer.value, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, answer.value)));
      break;
    case DialogAnswer::Kind::Key: {
      GUITHREADINFO info{};
      info.cbSize = sizeof info;
      HWND target = window;
      if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus &&
          (info.hwndFocus == window || IsChild(window, info.hwndFocus))) {
        target = info.hwndFocus;
      }
      const UINT scan = MapVirtualKeyA(static_cast<UINT>(answer.value), 0);
      const auto vk = static_cast<WPARAM>(answer.value);
      PostMessageA(target, WM_KEYDOWN, vk, static_cast<LPARAM>(1u | (scan << 16)));
      PostMessageA(target, WM_KEYUP, vk, static_cast<LPARAM>(1u | (scan << 16) | 0xC0000000u));
      break;
    }
    case DialogAnswer::Kind::CloseBox:
      PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
  }
}

struct FoundWindows {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<FoundWindows*>(param);
  if (IsAnswerableDialog(window, found->processId)) found->windows.push_back(window);
  return TRUE;
}

// Remembers which boxes it answered and when; records go to a shared list.
class Scanner {
 public:
  Scanner(DWORD processId, std::vector<DialogAnswer> answers, const DialogInspector& inspector,
          std::vector<DialogRecord>& records, std::mutex& mutex)
      : processId_(processId), answers_(std::move(answers)), inspector_(inspector), records_(records),
        mutex_(mutex) {
    if (answers_.empty()) answers_.push_back(DialogAnswer::Press(IDOK));
  }

  // Describes and answers the new boxes; answers again a box that outlived its answer.
  void Scan() {
    FoundWindows found{processId_, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
    for (auto it = answered_.begin(); it != answered_.end();) {
      bool present = false;
      for (HWND window : found.windows) present = present || window == it->first;
      it = present ? std::next(it) : answered_.erase(it);
    }
    for (HWND window : found.windows) {
      auto known = answered_.find(window);
      if (known == answered_.end()) {
        AnswerNew(window);
      } else if (GetTickCount() - known->second.time >= kRepeatAnswerAfter) {
        AnswerAgain(window, known->second);
      }
    }
  }

 private:
  struct Answered {
    DialogAnswer answer;
    std::size_t record = 0;
    DWORD time = 0;
  };

  void AnswerNew(HWND window) {
    DialogRecord record = Describe(window);
    if (inspector_) inspector_(record);
    const DialogAnswer answer = answers_[std::min(count_, answers_.size() - 1)];
    ++count_;
    record.answersGiven = 1;
    std::size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      index = records_.size();
      records_.push_back(std::move(record));
    }
    Give(window, answer);
    answered_[window] = {answer, index, GetTickCount()};
  }

  void AnswerAgain(HWND window, Answered& answered) {
    bool force = false;
    {
      std::lock_guard lock(mutex_);
      DialogRecord& record = records_[answered.record];
      force = record.answersGiven >= kMaxAnswers;
      if (force) {
        record.forcedClose = true;
      } else {
        ++record.answersGiven;
      }
    }
    if (force) {
      PostMessageA(window, WM_CLOSE, 0, 0);
    } else {
      Give(window, answered.answer);
    }
    answered.time = GetTickCount();
  }

  DWORD processId_;
  std::vector<DialogAnswer> answers_;
  const DialogInspector& inspector_;
  std::vector<DialogRecord>& records_;
  std::mutex& mutex_;
  std::size_t count_ = 0;
  std::map<HWND, Answered> answered_;
};

}  // namespace

const DialogControl* DialogRecord::Control(int id) const {
  for (const DialogControl& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

bool DialogRecord::HasButton(int id) const {
  const DialogControl* control = Control(id);
  return control && _stricmp(control->className.c_str(), "Button") == 0;
}

HICON DialogRecord::Icon() const {
  for (const DialogControl& control : controls) {
    if (control.icon) return control.icon;
  }
  return nullptr;
}

bool IsAnswerableDialog(HWND window, DWORD processId) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != processId || !IsWindowVisible(window)) return false;
  const std::string className = ClassOf(window);
  if (className != kMessageBoxClass && className != kSimpleMessageClass) return false;
  // Every box has a caption. Under load its text can still be unreadable (the message timed
  // out, or the box is still being filled): the box is then taken on a later look.
  return !TextOf(window).empty();
}

DialogAnswerer::DialogAnswerer(int buttonId) : DialogAnswerer(std::vector{DialogAnswer::Press(buttonId)}) {}

DialogAnswerer::DialogAnswerer(std::vector<DialogAnswer> answers, DialogInspector inspector)
    : answers_(std::move(answers)),
      inspector_(std::move(inspector)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      thread_([this] { Run(); }) {}

DialogAnswerer::~DialogAnswerer() {
  SetEvent(stop_.Get());
  thread_.join();
}

std::vector<DialogRecord> DialogAnswerer::Dialogs() const {
  std::lock_guard lock(mutex_);
  return records_;
}

void DialogAnswerer::Run() {
  Scanner scanner(GetCurrentProcessId(), answers_, inspector_, records_, mutex_);
  do {
    scanner.Scan();
  } while (WaitForSingleObject(stop_.Get(), kScanInterval) == WAIT_TIMEOUT);
}

std::vector<DialogRecord> AnswerDialogsOfProcess(DWORD processId, std::vector<DialogAnswer> answers,
                                                 std::size_t maxDialogs, DWORD timeoutMilliseconds) {
  std::vector<DialogRecord> records;
  const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process) return records;
  const DialogInspector noInspector;
  std::mutex mutex;
  Scanner scanner(processId, std::move(answers), noInspector, records, mutex);
  const DWORD start = GetTickCount();
  do {
    scanner.Scan();
    if (records.size() >= maxDialogs) break;
  } while (WaitForSingleObject(process.Get(), kScanInterval) == WAIT_TIMEOUT &&
           GetTickCount() - start < timeoutMilliseconds);
  return records;
}
