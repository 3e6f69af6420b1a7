#pragma once
// Passes every change on to the gateway it wraps and, when the trace log is on, writes one
// line for each change that took effect, with the full name of what was removed, written or
// ended: the log is then a record of what a run changed, not only of the entries it read.
#include <string>
#include <vector>

#include "platform/effects.h"

class Trace;
struct CleanerState;

inline constexpr char kRemovedFileText[] = "Removed file ";
inline constexpr char kRemovedFolderText[] = "Removed folder ";
inline constexpr char kRemovedKeyText[] = "Removed key ";
inline constexpr char kRemovedValueText[] = "Removed value ";
// A key even the backup and restore privileges did not open, made the administrators' own.
inline constexpr char kTookOverKeyText[] = "Took ownership of key ";
inline constexpr char kWroteValueText[] = "Wrote value ";
inline constexpr char kEndedProcessText[] = "Ended process ";
inline constexpr char kStoppedServiceText[] = "Stopped service ";
// Followed by the service's name, ": " and what it was set to.
inline constexpr char kConfiguredServiceText[] = "Configured service ";

// Attribute changes, requests for the restart (the information list names each) and undo's
// changes (it traces them in its own words) pass through unrecorded.
class TracingEffects : public ForwardingEffects {
 public:
  TracingEffects(Effects& inner, const CleanerState& state, Trace& trace)
      : ForwardingEffects(inner), state_(state), trace_(trace) {}

  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override;
  DWORD RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                   std::vector<RemovedItem>& removed) override;
  LONG TakeKeyOwnership(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                         const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;
  DWORD ConfigureService(SC_HANDLE service, const std::string& serviceName, const ServiceSettings& settings) override;

 private:
  void Record(const std::string& what, const std::wstring& name);
  void Record(const std::string& what, const std::string& name);

  const CleanerState& state_;
  Trace& trace_;
};
