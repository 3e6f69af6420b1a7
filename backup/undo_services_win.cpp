#include <windows.h>
#include <winsvc.h>

#include "backup/undo_steps.h"

#include "engine/cleaner_context.h"
#include "platform/effects.h"
#include "platform/handles.h"
#include "platform/processes/service_control.h"
#include "platform/text/wide_text.h"

// The settings go back only where the service has those the run gave it: settings someone
// changed since are theirs. A service set as it was before needs nothing, so a second undo
// changes nothing.
void UndoServiceSettingsEntry(UndoSteps& steps, const JournalEntry& entry) {
  const std::string what = "service " + AnsiFromWide(entry.path);
  const auto saved = entry.values.size() == 1 ? DecodeServiceSettings(entry.values.front().data) : std::nullopt;
  if (!saved) return steps.Failed(what, ERROR_INVALID_DATA);
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      manager ? OpenServiceW(manager.Get(), entry.path.c_str(), SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_START)
              : nullptr);
  if (!service) return steps.Failed(what, GetLastError());
  ServiceSettings now;
  if (const DWORD error = ReadServiceSettings(service.Get(), now); error != ERROR_SUCCESS) {
    return steps.Failed(what, error);
  }
  if (now == *saved) return;
  if (now != DisabledServiceSettings()) return steps.SomethingElseThere(what);
  if (const DWORD error = steps.Context().effects.ConfigureService(service.Get(), AnsiFromWide(entry.path), *saved);
      error != ERROR_SUCCESS) {
    return steps.Failed(what, error);
  }
  steps.Done(what);
}
