#pragma once
// The gateway that acts not: it lists what would have been done (the dry run of the plan,
// and the count the tests take) and answers success.
#include <string>
#include <vector>

#include "platform/effects.h"

struct RecordedAction {
  enum class Kind { SetAttributes, RemoveFile, RemoveFolder, DeleteKey, DeleteValue, WriteValue, EndProcess, StopService };
  Kind kind;
  std::string target;  // path, key name (with value name after a `\`), or executable name, service name
  std::string detail;  // attributes, written text, exit code
  std::wstring wideTarget{};  // the path as given to the UTF-16 calls; empty for the others
};

class RecordingEffects : public Effects {
 public:
  bool SetAttributes(const std::string& path, DWORD attributes) override;
  bool RemoveFile(const std::string& path) override;
  bool RemoveEmptyFolder(const std::string& path) override;
  bool SetAttributesWide(const std::wstring& path, DWORD attributes) override;
  bool RemoveFileWide(const std::wstring& path) override;
  LONG DeleteRegistryKey(HKEY base, const std::string& subKey, const std::string& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::string& valueName, const std::string& keyName) override;
  LONG WriteRegistryString(HKEY key, const std::string& valueName, const std::string& text,
                           const std::string& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;

  std::vector<RecordedAction> actions;
  std::size_t Count(RecordedAction::Kind kind) const;
};
