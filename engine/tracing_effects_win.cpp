#include <windows.h>

#include "engine/tracing_effects.h"

#include "engine/cleaner_state.h"
#include "engine/trace.h"
#include "platform/files_paths.h"
#include "platform/wide_text.h"

void TracingEffects::Record(const std::string& what, const std::string& name) {
  if (state_.TraceLogOn) trace_.Write(what + name);
}

void TracingEffects::Record(const std::string& what, const std::wstring& name) {
  if (state_.TraceLogOn) Record(what, AnsiFromWide(OrdinaryPath(name)));
}

DWORD TracingEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
  return inner_.SetAttributes(path, attributes);
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

// The information list already says "Will be deleted at restart" for each.
DWORD TracingEffects::DeleteAtRestart(const std::wstring& path) { return inner_.DeleteAtRestart(path); }

LONG TracingEffects::OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                                     const std::wstring& keyName, UniqueHKey& key) {
  return inner_.OpenRegistryKey(base, subKey, options, rights, keyName, key);
}

LONG TracingEffects::DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view,
                                       const std::wstring& keyName) {
  const LONG code = inner_.DeleteRegistryKey(base, subKey, view, keyName);
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

// Undo traces what it puts back in its own words.
DWORD TracingEffects::MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) {
  return inner_.MoveFileTo(from, to, allowCopy);
}
DWORD TracingEffects::CreateFolder(const std::wstring& path) { return inner_.CreateFolder(path); }
DWORD TracingEffects::SetFileTimes(const std::wstring& path, const FILETIME& creation, const FILETIME& lastAccess,
                                   const FILETIME& lastWrite) {
  return inner_.SetFileTimes(path, creation, lastAccess, lastWrite);
}
LONG TracingEffects::CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights,
                                       const std::wstring& keyName, UniqueHKey& key) {
  return inner_.CreateRegistryKey(base, subKey, rights, keyName, key);
}
