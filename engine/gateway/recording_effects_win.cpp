#include <windows.h>

#include "engine/gateway/recording_effects.h"

#include <algorithm>

#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/text/wide_text.h"

using Kind = RecordedAction::Kind;

namespace {
RecordedAction FileAction(Kind kind, const std::wstring& path, std::string detail = {}) {
  std::wstring ordinary = OrdinaryPath(path);
  return {kind, AnsiFromWide(ordinary), std::move(detail), std::move(ordinary)};
}

// Opening for deletion changes nothing, and is refused for a file open elsewhere without
// delete sharing, as the deletion itself would be.
bool IsHeldOpen(const std::wstring& path) {
  const UniqueFile probe(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

// The text of a string value, up to its first NUL; for other data its type and size.
std::string WrittenData(DWORD type, const std::vector<BYTE>& data) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    return "type " + std::to_string(type) + ", " + std::to_string(data.size()) + " bytes";
  }
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
            reinterpret_cast<BYTE*>(text.data()));
  return AnsiFromWide(text.substr(0, text.find(L'\0')));
}
}  // namespace

DWORD RecordingEffects::SetAttributes(const std::wstring& path, DWORD attributes) {
  actions.push_back(FileAction(Kind::SetAttributes, path, std::to_string(attributes)));
  return ERROR_SUCCESS;
}
DWORD RecordingEffects::RemoveFile(const std::wstring& path) {
  actions.push_back(FileAction(Kind::RemoveFile, path));
  return answerInUse && IsHeldOpen(path) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}
DWORD RecordingEffects::RemoveEmptyFolder(const std::wstring& path) {
  actions.push_back(FileAction(Kind::RemoveFolder, path));
  return ERROR_SUCCESS;
}
DWORD RecordingEffects::DeleteAtRestart(const std::wstring& path) {
  actions.push_back(FileAction(Kind::DeleteAtRestart, path));
  return ERROR_SUCCESS;
}
// A file held open without delete sharing can no more be moved than deleted.
DWORD RecordingEffects::MoveFileTo(const std::wstring& from, const std::wstring& to, bool) {
  actions.push_back(FileAction(Kind::MoveItem, from, AnsiFromWide(OrdinaryPath(to))));
  return answerInUse && IsHeldOpen(from) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}
DWORD RecordingEffects::CreateFolder(const std::wstring& path) {
  actions.push_back(FileAction(Kind::CreateFolder, path));
  return ERROR_SUCCESS;
}
DWORD RecordingEffects::SetFileTimes(const std::wstring& path, const FILETIME&, const FILETIME&, const FILETIME&) {
  actions.push_back(FileAction(Kind::SetTimes, path));
  return ERROR_SUCCESS;
}
// Nothing is created: the key handed back is empty, and writes to it are only recorded.
LONG RecordingEffects::CreateRegistryKey(HKEY, const std::wstring&, REGSAM, const std::wstring& keyName,
                                         UniqueHKey&) {
  actions.push_back({Kind::CreateKey, AnsiFromWide(keyName), {}, keyName});
  return ERROR_SUCCESS;
}
// The dry run changes nothing, so it asks only for the reading part of the rights (and the
// view they are asked in): a plan made without administrator rights still sees what is there.
LONG RecordingEffects::OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                                       const std::wstring& keyName, UniqueHKey& key) {
  return LiveEffects::Instance().OpenRegistryKey(base, subKey, options, rights & (KEY_READ | KEY_WOW64_RES), keyName,
                                                 key);
}
LONG RecordingEffects::DeleteRegistryKey(HKEY, const std::wstring&, REGSAM, const std::wstring& keyName) {
  actions.push_back({Kind::DeleteKey, AnsiFromWide(keyName), {}, keyName});
  return ERROR_SUCCESS;
}
LONG RecordingEffects::DeleteRegistryValue(HKEY, const std::wstring& valueName, const std::wstring& keyName) {
  const std::wstring target = keyName + L"\\" + valueName;
  actions.push_back({Kind::DeleteValue, AnsiFromWide(target), {}, target});
  return ERROR_SUCCESS;
}
LONG RecordingEffects::WriteRegistryValue(HKEY, const std::wstring& valueName, DWORD type,
                                          const std::vector<BYTE>& data, const std::wstring& keyName) {
  const std::wstring target = keyName + L"\\" + valueName;
  actions.push_back({Kind::WriteValue, AnsiFromWide(target), WrittenData(type, data), target});
  return ERROR_SUCCESS;
}
bool RecordingEffects::EndProcess(HANDLE, UINT exitCode, const std::string& exeName) {
  actions.push_back({Kind::EndProcess, exeName, std::to_string(exitCode)});
  return true;
}

DWORD RecordingEffects::StopService(SC_HANDLE, const std::string& serviceName) {
  actions.push_back({Kind::StopService, serviceName, {}});
  return ERROR_SUCCESS;
}

DWORD RecordingEffects::ConfigureService(SC_HANDLE, const std::string& serviceName, const ServiceSettings& settings) {
  actions.push_back({Kind::ConfigureService, serviceName, DescribeServiceSettings(settings)});
  return ERROR_SUCCESS;
}

std::size_t RecordingEffects::Count(Kind kind) const {
  return static_cast<std::size_t>(
      std::count_if(actions.begin(), actions.end(), [kind](const RecordedAction& a) { return a.kind == kind; }));
}
