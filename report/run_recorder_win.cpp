#include <windows.h>

#include "report/run_recorder.h"

#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/text/sha256.h"
#include "platform/text/wide_text.h"

namespace {

std::string Utf8OfAnsi(const std::string& text) { return Utf8FromWide(WideFromAnsi(text)); }
std::string Utf8OfPath(const std::wstring& path) { return Utf8FromWide(OrdinaryPath(path)); }

// The digest of the file read in large blocks; empty when it cannot be read.
std::string Sha256OfFile(const std::string& path) {
  const UniqueFile file(CreateFileW(WideFromAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  Sha256 hash;
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return {};
    if (read == 0) break;
    hash.Add(buffer.data(), read);
  }
  return hash.HexDigest();
}

std::string ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? Utf8FromWide(name) : std::string();
}

std::string AccountName() {
  wchar_t user[257] = {};
  DWORD size = 257;
  if (!GetUserNameW(user, &size)) return {};
  wchar_t domain[257] = {};
  const DWORD length = GetEnvironmentVariableW(L"USERDOMAIN", domain, 257);
  const std::string name = Utf8FromWide(user);
  return length > 0 && length < 257 ? Utf8FromWide(domain) + "\\" + name : name;
}

std::string TwoDigits(int value) { return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10); }

}  // namespace

void RunRecorder::Listed(const std::string& line, bool scheduled) { record_.Listed(Utf8OfAnsi(line), scheduled); }

void RunRecorder::Restored(const std::string& what) { record_.Restored(Utf8OfAnsi(what)); }

void RunRecorder::ErrorShown(const std::string& message) {
  record_.Error(Utf8OfAnsi(message));
  if (!trace_.IsOpen()) events_.Write(EventKind::Error, message);
}

void WriteEndEntry(EventLog& events, const std::string& version, const RunRecord& record, int exitCode) {
  const EventKind kind = exitCode == 0 || exitCode == 3010 ? EventKind::Information
                         : exitCode == 1                   ? EventKind::Warning
                                                           : EventKind::Error;
  events.Write(kind, "Velmora Cleaner " + version + ": " + SummaryLine(record.Counts(), exitCode));
}

DWORD RecordingLayer::RemoveFile(const std::wstring& path) {
  const DWORD code = ForwardingEffects::RemoveFile(path);
  record_.Change("remove-file", Utf8OfPath(path), code);
  return code;
}

// A child removed relative to its folder's handle is recorded by its path, as any other.
DWORD RecordingLayer::RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                                  bool plainFirst) {
  const DWORD code = ForwardingEffects::RemoveChild(parent, name, path, folder, plainFirst);
  record_.Change(folder ? "remove-folder" : "remove-file", Utf8OfPath(path), code);
  return code;
}

// A tree removed at once is recorded item by item, each as a change of its own.
DWORD RecordingLayer::RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                                 std::vector<RemovedItem>& removed) {
  const DWORD code = ForwardingEffects::RemoveTree(parent, name, path, opened, removed);
  if (code != ERROR_SUCCESS) return code;
  for (const RemovedItem& item : removed) {
    record_.Change(item.folder ? "remove-folder" : "remove-file", Utf8OfPath(item.path), ERROR_SUCCESS);
  }
  return code;
}

DWORD RecordingLayer::RemoveEmptyFolder(const std::wstring& path) {
  const DWORD code = ForwardingEffects::RemoveEmptyFolder(path);
  record_.Change("remove-folder", Utf8OfPath(path), code);
  return code;
}

DWORD RecordingLayer::DeleteAtRestart(const std::wstring& path) {
  const DWORD code = ForwardingEffects::DeleteAtRestart(path);
  record_.Change("delete-at-restart", Utf8OfPath(path), code);
  return code;
}

// A file in use moved into the pending folder for the restart: by its path, with where it went.
DWORD RecordingLayer::MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE into,
                                const std::wstring& newName, const std::wstring& target) {
  const DWORD code = ForwardingEffects::MoveChild(parent, name, path, folder, into, newName, target);
  record_.Change("move-file", Utf8OfPath(path) + " -> " + Utf8OfPath(target), code);
  return code;
}

LONG RecordingLayer::DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) {
  const LONG code = ForwardingEffects::DeleteRegistryKey(base, subKey, view, keyName);
  record_.Change("delete-key", Utf8FromWide(keyName), static_cast<unsigned long>(code));
  return code;
}

// A key with subkeys is left as it is by this call: no change to record.
LONG RecordingLayer::DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                                       const std::wstring& keyName) {
  const LONG code = inner_.DeleteOpenLeafKey(key, base, subKey, view, keyName);
  if (code != kKeyHasSubkeysCode) record_.Change("delete-key", Utf8FromWide(keyName), static_cast<unsigned long>(code));
  return code;
}

LONG RecordingLayer::DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) {
  const LONG code = ForwardingEffects::DeleteRegistryValue(key, valueName, keyName);
  record_.Change("delete-value", Utf8FromWide(keyName + L"\\" + valueName), static_cast<unsigned long>(code));
  return code;
}

LONG RecordingLayer::WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type,
                                        const std::vector<BYTE>& data, const std::wstring& keyName) {
  const LONG code = ForwardingEffects::WriteRegistryValue(key, valueName, type, data, keyName);
  record_.Change("write-value", Utf8FromWide(keyName + L"\\" + valueName), static_cast<unsigned long>(code));
  return code;
}

bool RecordingLayer::EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) {
  const bool ended = ForwardingEffects::EndProcess(process, exitCode, exeName);
  record_.Change("end-process", Utf8OfAnsi(exeName), ended ? 0 : GetLastError());
  return ended;
}

DWORD RecordingLayer::StopService(SC_HANDLE service, const std::string& serviceName) {
  const DWORD code = ForwardingEffects::StopService(service, serviceName);
  record_.Change("stop-service", Utf8OfAnsi(serviceName), code);
  return code;
}

RunFacts GatherRunFacts(const std::string& version, const std::string& commandLine, const std::string& ruleFile) {
  return {version, ComputerName(), AccountName(), commandLine, Utf8OfAnsi(ruleFile), Sha256OfFile(ruleFile)};
}

std::string IsoTimeNow() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  TIME_ZONE_INFORMATION zone{};
  const DWORD which = GetTimeZoneInformation(&zone);
  long bias = zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
  const char sign = bias > 0 ? '-' : '+';  // the bias is UTC minus local time
  if (bias < 0) bias = -bias;
  const auto hours = static_cast<int>(bias / 60);
  const auto minutes = static_cast<int>(bias % 60);
  return std::to_string(local.wYear) + "-" + TwoDigits(local.wMonth) + "-" + TwoDigits(local.wDay) + "T" +
         TwoDigits(local.wHour) + ":" + TwoDigits(local.wMinute) + ":" + TwoDigits(local.wSecond) + sign +
         TwoDigits(hours) + ":" + TwoDigits(minutes);
}
