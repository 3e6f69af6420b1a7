#include <windows.h>

#include "startup/detection.h"

#include <algorithm>

#include "engine/cleaner_context.h"
#include "engine/gateway/recording_effects.h"
#include "engine/run/cleaning_run.h"
#include "engine/run/process_termination.h"
#include "engine/run/rule_pass.h"
#include "engine/run/shortcut_removal.h"
#include "engine/run_view.h"
#include "platform/errors.h"
#include "platform/files/files.h"
#include "platform/files/files_paths.h"
#include "platform/handles.h"
#include "platform/processes/process_services.h"
#include "platform/text/wide_text.h"
#include "startup/startup.h"

namespace {

void NoPause(DWORD) {}

class SilentReporter : public Reporter {
 public:
  void ShowInfo(const std::string&) override {}
  void SimpleMessage(const std::string&) override {}
  bool Confirm(const std::string&) override { return true; }
};

// Over the recording gateway: notes each change asked for whose target exists now. A run
// asks for some changes whatever is there (a key that is already gone counts as deleted), so
// what was asked for alone does not say what is left.
class LeftoverNotes : public ForwardingEffects {
 public:
  explicit LeftoverNotes(Effects& inner) : ForwardingEffects(inner) {}

  DWORD RemoveFile(const std::wstring& path) override {
    if (IsExistingFileWide(path)) Note("remove-file ", path);
    return ForwardingEffects::RemoveFile(path);
  }
  DWORD RemoveEmptyFolder(const std::wstring& path) override {
    if (IsExistingFolderWide(path)) Note("remove-folder ", path);
    return ForwardingEffects::RemoveEmptyFolder(path);
  }
  // A child met in a walk counts as its path does: removed by path, through the notes above.
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override {
    return Effects::RemoveChild(parent, name, path, folder, plainFirst);
  }
  DWORD DeleteAtRestart(const std::wstring& path) override {
    if (IsExistingFileWide(path) || IsExistingFolderWide(path)) Note("remove-file ", path);
    return ForwardingEffects::DeleteAtRestart(path);
  }
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override {
    UniqueHKey key;
    if (RegOpenKeyExW(base, subKey.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view, key.Put()) == ERROR_SUCCESS) {
      NoteName("delete-key ", keyName);
    }
    return ForwardingEffects::DeleteRegistryKey(base, subKey, view, keyName);
  }
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override {
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      NoteName("delete-value ", keyName + L"\\" + valueName);
    }
    return ForwardingEffects::DeleteRegistryValue(key, valueName, keyName);
  }
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override {
    Add("end-process " + exeName);  // it was found running
    return ForwardingEffects::EndProcess(process, exitCode, exeName);
  }
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override {
    Add("stop-service " + serviceName);
    return ForwardingEffects::StopService(service, serviceName);
  }

  std::vector<std::string> left;

 private:
  void Note(const char* verb, const std::wstring& path) { Add(verb + AnsiFromWide(OrdinaryPath(path))); }
  void NoteName(const char* verb, const std::wstring& name) { Add(verb + AnsiFromWide(name)); }
  // The dry run ends nothing, so every pass of the termination meets a process again.
  void Add(std::string line) {
    if (std::find(left.begin(), left.end(), line) == left.end()) left.push_back(std::move(line));
  }
};

}  // namespace

std::vector<std::string> DetectLeftovers(CleanerState& state, Trace& trace, const std::string& commandLine,
                                         const std::string& programPath) {
  RecordingEffects recording;
  LeftoverNotes effects(recording);
  NoRunView view;
  SilentReporter reporter;
  CleanerContext context{state, view, effects, reporter, trace};
  state.QuietMode = true;
  if (!PrepareStartup(context, commandLine, programPath)) {
    throw Exception(std::string(kMissingRuleFileText) + ": " + state.RuleFilePath);
  }
  // Every target counts, whatever the run would be permitted to delete.
  state.RunMode = 1;
  state.DeletePermission = true;
  RunOptions options = UnattendedRunOptions(state);
  options.endProcesses = true;
  options.deleteFilesAndFolders = true;
  options.deleteShortcuts = true;
  {
    const OtherUsersForRun otherUsers(context);
    TerminateProductProcesses(context, ProcessTerminationServices{TakeProcessSnapshot, NoPause});
    RunRulePass(context, options);
    RemoveShortcuts(context);
  }
  const std::vector<std::string>& left = effects.left;
  for (const std::string& line : left) TraceIfOn(context, kLeftText + line);
  return left;
}
