#pragma once
// The gateway that acts not: it lists what would have been done (the dry run of the plan,
// and the count the tests take) and answers success.
#include <string>
#include <vector>

#include "platform/effects.h"

struct RecordedAction {
  enum class Kind {
    SetAttributes, RemoveFile, RemoveFolder, DeleteAtRestart, DeleteKey, DeleteValue, WriteValue, EndProcess
  };
  Kind kind;
  std::string target;  // path (ANSI, as close as the code page allows), key name (with value
                       // name after a `\`), or executable name
  std::string detail;  // attributes, written text, exit code
  std::wstring wideTarget{};  // files and folders: the true path, in ordinary form
};

class RecordingEffects : public Effects {
 public:
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override;
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  LONG DeleteRegistryKey(HKEY base, const std::string& subKey, const std::string& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::string& valueName, const std::string& keyName) override;
  LONG WriteRegistryString(HKEY key, const std::string& valueName, const std::string& text,
                           const std::string& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;

  std::vector<RecordedAction> actions;
  // For the plan: a file another program holds open answers ERROR_SHARING_VIOLATION, as its
  // deletion would, so that the plan shows what a run would leave to the restart.
  bool answerInUse = false;
  std::size_t Count(RecordedAction::Kind kind) const;
};
