#include <windows.h>

#include "engine/gateway/tracing_effects.h"

#include "engine/cleaner_state.h"
#include "engine/trace.h"
#include "platform/files/files_paths.h"
#include "platform/text/wide_text.h"

void TracingEffects::Record(const std::string& what, const std::string& name) {
  if (state_.TraceLogOn) trace_.Write(what + name);
}

void TracingEffects::Record(const std::string& what, const std::wstring& name) {
  if (!state_.TraceLogOn) return;
  const std::wstring ordinary = OrdinaryPath(name);
  trace_.WriteNamed(what, ordinary, AnsiFromWide(ordinary));
}

DWORD TracingEffects::RemoveFile(const std::wstring& path) {
  const DWORD code = inner_.RemoveFile(path);
  if (code == ERROR_SUCCESS) Record(kRemovedFileText, path);
  return code;
}

DWORD TracingEffects::RemoveEmptyFolder(const std::wstring& path) {
  const DWORD code = inner_.RemoveEmptyFolder(path);
  if (code == ERROR_SUCCESS) Record(kRemovedFolderText, path);
  return code;
}

DWORD TracingEffects::RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                                  bool plainFirst) {
  const DWORD code = inner_.RemoveChild(parent, name, path, folder, plainFirst);
  if (code == ERROR_SUCCESS) Record(folder ? kRemovedFolderText : kRemovedFileText, path);
  return code;
}

// A tree removed at once is traced item by item, as the walk would have traced it.
DWORD TracingEffects::RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                                 std::vector<RemovedItem>& removed) {
  const DWORD code = inner_.RemoveTree(parent, name, path, opened, removed);
  if (code != ERROR_SUCCESS) return code;
  for (const RemovedItem& item : removed) Record(item.folder ? kRemovedFolderText : kRemovedFileText, item.path);
  return code;
}

LONG TracingEffects::TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) {
  const LONG code = inner_.TakeKeyOwnership(base, subKey, view, keyName);
  if (code == ERROR_SUCCESS) Record(kTookOverKeyText, keyName);
  return code;
}

LONG TracingEffects::DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view,
                                       const std::wstring& keyName) {
  const LONG code = inner_.DeleteRegistryKey(base, subKey, view, keyName);
  if (code == ERROR_SUCCESS) Record(kRemovedKeyText, keyName);
  return code;
}

LONG TracingEffects::DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                       const std::wstring& keyName) {
  const LONG code = inner_.DeleteOpenLeafKey(key, base, subKey, view, keyName);
  if (code == ERROR_SUCCESS) Record(kRemovedKeyText, keyName);
  return code;
}

LONG TracingEffects::DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) {
  const LONG code = inner_.DeleteRegistryValue(key, valueName, keyName);
  if (code == ERROR_SUCCESS) Record(kRemovedValueText, keyName + L"\\" + valueName);
  return code;
}

LONG TracingEffects::WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type,
                                        const std::vector<BYTE>& data, const std::wstring& keyName) {
  const LONG code = inner_.WriteRegistryValue(key, valueName, type, data, keyName);
  if (code == ERROR_SUCCESS) Record(kWroteValueText, keyName + L"\\" + valueName);
  return code;
}

bool TracingEffects::EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) {
  const bool ended = inner_.EndProcess(process, exitCode, exeName);
  if (ended) Record(kEndedProcessText, exeName);
  return ended;
}

DWORD TracingEffects::StopService(SC_HANDLE service, const std::string& serviceName) {
  const DWORD code = inner_.StopService(service, serviceName);
  if (code == ERROR_SUCCESS) Record(kStoppedServiceText, serviceName);
  return code;
}


DWORD TracingEffects::ConfigureService(SC_HANDLE service, const std::string& serviceName,
                                       const ServiceSettings& settings) {
  const DWORD code = inner_.ConfigureService(service, serviceName, settings);
  if (code == ERROR_SUCCESS) Record(kConfiguredServiceText, serviceName + ": " + DescribeServiceSettings(settings));
  return code;
}
