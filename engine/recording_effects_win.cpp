#include <windows.h>

#include "engine/recording_effects.h"

#include <algorithm>

namespace {
std::string NarrowForRecord(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
  }
  return out;
}
}  // namespace

using Kind = RecordedAction::Kind;

bool RecordingEffects::SetAttributes(const std::string& path, DWORD attributes) {
  actions.push_back({Kind::SetAttributes, path, std::to_string(attributes)});
  return true;
}
bool RecordingEffects::RemoveFile(const std::string& path) {
  actions.push_back({Kind::RemoveFile, path, {}});
  return true;
}
bool RecordingEffects::RemoveEmptyFolder(const std::string& path) {
  actions.push_back({Kind::RemoveFolder, path, {}});
  return true;
}
bool RecordingEffects::SetAttributesWide(const std::wstring& path, DWORD attributes) {
  actions.push_back({Kind::SetAttributes, NarrowForRecord(path), std::to_string(attributes), path});
  return true;
}
bool RecordingEffects::RemoveFileWide(const std::wstring& path) {
  actions.push_back({Kind::RemoveFile, NarrowForRecord(path), {}, path});
  return true;
}
LONG RecordingEffects::DeleteRegistryKey(HKEY, const std::string&, const std::string& keyName) {
  actions.push_back({Kind::DeleteKey, keyName, {}});
  return ERROR_SUCCESS;
}
LONG RecordingEffects::DeleteRegistryValue(HKEY, const std::string& valueName, const std::string& keyName) {
  actions.push_back({Kind::DeleteValue, keyName + "\\" + valueName, {}});
  return ERROR_SUCCESS;
}
LONG RecordingEffects::WriteRegistryString(HKEY, const std::string& valueName, const std::string& text,
                                           const std::string& keyName) {
  actions.push_back({Kind::WriteValue, keyName + "\\" + valueName, text});
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

std::size_t RecordingEffects::Count(Kind kind) const {
  return static_cast<std::size_t>(
      std::count_if(actions.begin(), actions.end(), [kind](const RecordedAction& a) { return a.kind == kind; }));
}
