#pragma once
// The gateway that acts not: it lists what would have been done (the dry run of the plan,
// and the count the tests take) and answers success.
#include <string>
#include <vector>

#include "platform/effects.h"

struct RecordedAction {
  enum class Kind { SetAttributes, RemoveFile, RemoveFolder, DeleteKey, DeleteValue, WriteValue, EndProcess };
  Kind kind;
  std::string target;  // path, key name (with value name after a `\`), or executable name
  std::string detail;  // attributes, written text, exit code
  std::wstring wideTarget{};  // the target as given to the UTF-16 calls; empty for the others
};

class RecordingEffects : public Effects {
 public:
  bool SetAttributes(const std::string& path, DWORD attributes) override;
  bool RemoveFile(const std::string& path) override;
  bool RemoveEmptyFolder(const std::string& path) override;
  bool SetAttributesWide(const std::wstring& path, DWORD attributes) override;
  bool RemoveFileWide(const std::wstring& path) override;
  LONG OpenRegistryKey(HKEY base, const std::wstring& subKey, REGSAM rights, const std::wstring& keyName,
                       UniqueHKey& key) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryString(HKEY key, const std::wstring& valueName, const std::wstring& text,
                           const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;

  std::vector<RecordedAction> actions;
  std::size_t Count(RecordedAction::Kind kind) const;
};
