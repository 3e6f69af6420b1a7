#pragma once
// Gathers what one start of the program did (report/run_record.h) from the engine's observer
// and from a layer over the gateway, and tells the event log what an administrator must not
// miss: an error while no trace log is open, and how the program ended.
#include <string>

#include "engine/run_observer.h"
#include "engine/trace.h"
#include "platform/effects.h"
#include "report/event_log.h"
#include "report/run_record.h"

class RunRecorder : public RunObserver {
 public:
  RunRecorder(RunRecord& record, EventLog& events, const Trace& trace) : record_(record), events_(events), trace_(trace) {}
  void Listed(const std::string& line, bool scheduled) override;
  // Also to the event log while no trace log is open: otherwise nothing would keep it.
  void ErrorShown(const std::string& message) override;
  void UndoStarting() override { record_.UndoStarting(); }
  void Restored(const std::string& what) override;

 private:
  RunRecord& record_;
  EventLog& events_;
  const Trace& trace_;
};

// The one entry that ends every start: the summary and the exit code; an information entry
// for 0 and 3010, a warning for 1, an error for every other code.
void WriteEndEntry(EventLog& events, const std::string& version, const RunRecord& record, int exitCode);

// A layer over the gateway that records each change asked for, with its outcome.
class RecordingLayer : public ForwardingEffects {
 public:
  RecordingLayer(Effects& inner, RunRecord& record) : ForwardingEffects(inner), record_(record) {}
  DWORD RemoveFile(const std::wstring& path) override;
  DWORD RemoveEmptyFolder(const std::wstring& path) override;
  DWORD RemoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder,
                    bool plainFirst) override;
  DWORD RemoveTree(HANDLE parent, const std::wstring& name, const std::wstring& path, HANDLE opened,
                   std::vector<RemovedItem>& removed) override;
  DWORD DeleteAtRestart(const std::wstring& path) override;
  DWORD MoveChild(HANDLE parent, const std::wstring& name, const std::wstring& path, bool folder, HANDLE into,
                  const std::wstring& newName, const std::wstring& target) override;
  LONG DeleteRegistryKey(HKEY base, const std::wstring& subKey, REGSAM view, const std::wstring& keyName) override;
  LONG DeleteOpenLeafKey(HKEY key, HKEY base, const std::wstring& subKey, REGSAM view,
                         const std::wstring& keyName) override;
  LONG DeleteRegistryValue(HKEY key, const std::wstring& valueName, const std::wstring& keyName) override;
  LONG WriteRegistryValue(HKEY key, const std::wstring& valueName, DWORD type, const std::vector<BYTE>& data,
                          const std::wstring& keyName) override;
  bool EndProcess(HANDLE process, UINT exitCode, const std::string& exeName) override;
  DWORD StopService(SC_HANDLE service, const std::string& serviceName) override;

 private:
  RunRecord& record_;
};

// The program's version, computer, account, command line (UTF-8) and rule file with its digest.
RunFacts GatherRunFacts(const std::string& version, const std::string& commandLine, const std::string& ruleFile);
// Now, as "2026-12-07T19:41:05+01:00".
std::string IsoTimeNow();
