#pragma once
// The gateway that acts not: it lists what would have been done (the dry run of the plan,
// and the count the tests take) and answers success.
#include <string>
#include <vector>

#include "platform/effects.h"

struct RecordedAction {
  enum class Kind {
    SetAttributes, RemoveFile, RemoveFolder, DeleteAtRestart, MoveItem, CreateFolder, SetTimes, CreateKey, DeleteKey, DeleteValue, WriteValue, EndProcess, StopService, ConfigureService
  };
  Kind kind;
  std::string target;  // path (ANSI, as close as the code page allows), key name (with value
                       // name after a `\`), executable name, or service name
  std::string detail;  // attributes, written text (or "type T, N bytes" for other data), exit code
  std::wstring wideTarget{};  // the true name: a path in ordinary form, or a key or value name
};

class RecordingEffects : public Effects {
 public:
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override;
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  DWORD MoveFileTo(const std::wstring& from, const std::wstring& to, bool allowCopy) override;
  DWORD CreateFolder(const std::wstring& path) override;
  DWORD SetFileTimes(const std::wstring& path, const FILETIME& creation, const FILETIME& lastAccess,
                     const FILETIME& lastWrite) override;
  LONG CreateRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                         UniqueHKey& key) override;
  LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, DWORD options, REGSAM rights,
                       const std::wstring& keyName, UniqueHKey& key) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;
  DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName, const ServiceSettings& settings) override;

  std::vector<RecordedAction> actions;
  // For the plan: a file another program holds open answers ERROR_SHARING_VIOLATION, as its
  // deletion (and its move) would, so that the plan shows what a run would leave to the restart.
  bool answerInUse = false;
  std::size_t Count(RecordedAction::Kind kind) const;
};
