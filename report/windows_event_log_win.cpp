#include <windows.h>

#include <cwchar>
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

// The source's key names this executable as its message file and the three entry kinds. A key
// that names this file already is left alone.
void RegisterSource() {
  const std::wstring source = WideFromAnsi(kEventSourceName);
  const std::wstring keyName = std::wstring(L"HKEY_LOCAL_MACHINE\\") + kApplicationLogKey + source;
  const std::wstring program = WideFromAnsi(ProgramPath());
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kApplicationLogKey + source).c_str(), 0, KEY_READ, key.Put()) ==
      ERROR_SUCCESS) {
    std::wstring named(MAX_PATH + 1, L'\0');
    DWORD size = static_cast<DWORD>(named.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), L"EventMessageFile", nullptr, nullptr, reinterpret_cast<BYTE*>(named.data()),
                         &size) == ERROR_SUCCESS) {
      named.resize(wcsnlen(named.c_str(), named.size()));
      if (CompareStringOrdinal(named.c_str(), -1, program.c_str(), -1, TRUE) == CSTR_EQUAL) return;
    }
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
  (void)effects.WriteRegistryValue(key.Get(), L"EventMessageFile", REG_EXPAND_SZ, BytesOf(program), keyName);
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

unsigned long EventIdOf(EventKind kind) {
  switch (kind) {
    case EventKind::Information: return kInformationEventId;
    case EventKind::Warning: return kWarningEventId;
    case EventKind::Error: return kErrorEventId;
  }
  return kErrorEventId;
}

void WindowsEventLog::Write(EventKind kind, const std::string& text) {
  if (mayRegister_ && !registered_) {
    RegisterSource();
    registered_ = true;
  }
  const UniqueEventSource source(RegisterEventSourceW(nullptr, WideFromAnsi(kEventSourceName).c_str()));
  if (!source) return;
  const std::wstring wide = WideFromAnsi(text);
  const wchar_t* strings[] = {wide.c_str()};
  (void)ReportEventW(source.Get(), TypeOf(kind), 0, EventIdOf(kind), nullptr, 1, 0, strings, nullptr);
}
