#include <windows.h>

#include <vector>

#include "platform/effects.h"
#include "platform/files/files.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"
#include "report/event_log.h"

namespace {

struct EventSourceTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return DeregisterEventSource(h) != 0; }
};
using UniqueEventSource = UniqueHandle<EventSourceTraits>;

constexpr wchar_t kApplicationLogKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::vector<BYTE> BytesOf(const std::wstring& text) {
  const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

// The source's key names this executable as its message file and the three entry kinds.
void RegisterSource() {
  const std::wstring source = WideFromAnsi(kEventSourceName);
  const std::wstring keyName = std::wstring(L"HKEY_LOCAL_MACHINE\\") + kApplicationLogKey + source;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kApplicationLogKey + source).c_str(), 0, KEY_READ, key.Put()) ==
      ERROR_SUCCESS) {
    return;  // registered by an earlier run
  }
  Effects& effects = LiveEffects::Instance();
  if (effects.CreateRegistryKey(HKEY_LOCAL_MACHINE, kApplicationLogKey + source, KEY_SET_VALUE | KEY_QUERY_VALUE,
                                keyName, key) != ERROR_SUCCESS) {
    return;
  }
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  const auto* typeBytes = reinterpret_cast<const BYTE*>(&types);
  (void)effects.WriteRegistryValue(key.Get(), L"TypesSupported", REG_DWORD,
                                   std::vector<BYTE>(typeBytes, typeBytes + sizeof types), keyName);
  (void)effects.WriteRegistryValue(key.Get(), L"EventMessageFile", REG_EXPAND_SZ,
                                   BytesOf(WideFromAnsi(ProgramPath())), keyName);
}

WORD TypeOf(EventKind kind) {
  switch (kind) {
    case EventKind::Information: return EVENTLOG_INFORMATION_TYPE;
    case EventKind::Warning: return EVENTLOG_WARNING_TYPE;
    case EventKind::Error: return EVENTLOG_ERROR_TYPE;
  }
  return EVENTLOG_ERROR_TYPE;
}

}  // namespace

void WindowsEventLog::Write(EventKind kind, const std::string& text) {
  if (!registered_) {
    RegisterSource();
    registered_ = true;
  }
  const UniqueEventSource source(RegisterEventSourceW(nullptr, WideFromAnsi(kEventSourceName).c_str()));
  if (!source) return;
  const std::wstring wide = WideFromAnsi(text);
  const wchar_t* strings[] = {wide.c_str()};
  (void)ReportEventW(source.Get(), TypeOf(kind), 0, 1, nullptr, 1, 0, strings, nullptr);
}
