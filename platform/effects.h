#pragma once
// The one gateway for every change the cleaner makes to the machine. LiveEffects acts; the
// recording form (engine/recording_effects.h) only lists what would have been done. Reads
// (enumeration, existence, registry reads, snapshots) never go through here.
#include <windows.h>

#include <string>
#include <vector>

class Effects {
 public:
  virtual ~Effects() = default;
  // Files and folders, named in UTF-16 (in extended form where the name needs it): each
  // answers ERROR_SUCCESS or the system's error code. RemoveFile answers
  // ERROR_DELETE_PENDING where the system denies access (5) because the file is already
  // deleted but still open elsewhere.
  [[nodiscard]] virtual DWORD SetAttributes(const std::wstring& path, DWORD attributes) = 0;
  [[nodiscard]] virtual DWORD RemoveFile(const std::wstring& path) = 0;
  [[nodiscard]] virtual DWORD RemoveEmptyFolder(const std::wstring& path) = 0;
  // Has the system delete a file, or an empty folder, at the next restart
  // (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT); the system carries out such requests in
  // the order they were made.
  [[nodiscard]] virtual DWORD DeleteAtRestart(const std::wstring& path) = 0;
  // Registry: keyName is the readable full name of what is changed, for the record.
  virtual LONG DeleteRegistryKey(HKEY base, const std::string& subKey, const std::string& keyName) = 0;
  virtual LONG DeleteRegistryValue(HKEY key, const std::string& valueName, const std::string& keyName) = 0;
  virtual LONG WriteRegistryString(HKEY key, const std::string& valueName, const std::string& text,
                                   const std::string& keyName) = 0;
  // Processes: the handle is open with terminate access.
  virtual bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) = 0;
};

class LiveEffects : public Effects {
 public:
  static LiveEffects& Instance();
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override;
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  LONG DeleteRegistryKey(HKEY base, const std::string& subKey, const std::string& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::string& valueName, const std::string& keyName) override;
  LONG WriteRegistryString(HKEY key, const std::string& valueName, const std::string& text,
                           const std::string& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
};

